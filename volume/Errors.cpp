#include "volume/Errors.h"

#include "platform/SystemError.h"

#include <sstream>

namespace Krod {

const char* EInvalidPartition::what() const noexcept {
    return "The partition specified is not formatted for NTFS.";
}

std::string ErrorInFilerecord::Describe(const char* suffix) const {
    std::ostringstream text;
    text << "MFC record " << reference_ << suffix;
    return text.str();
}

ENoFilenameAttribute::ENoFilenameAttribute(FileReference reference)
    : ErrorInFilerecord(reference), message_(Describe(" does not have FILE_NAME attribute.")) {}

EMutExAttributesError::EMutExAttributesError(FileReference reference)
    : ErrorInFilerecord(reference),
      message_(Describe(" has several mutual exclusive FILE_NAME attributes.")) {}

ESystemError::ESystemError() : ESystemError(platform::LastErrorCode()) {}

ESystemError::ESystemError(platform::ErrorCode code) : std::runtime_error(""), code_(code) {}

std::wstring ESystemError::GetSystemMessage() const {
    std::wstring text = platform::SystemErrorText(code_);
    if (text.empty())
        text = L"(Cannot format error message)";
    return text + L" (" + std::to_wstring(code_) + L")";
}

} // namespace Krod
