#pragma once
// The volume library's own exceptions. Catch Krod::Error for any of them, ErrorInFilerecord for
// the record errors; every one except ESystemError carries its text in what().

#include "platform/ErrorCode.h"
#include "volume/FileReference.h"

#include <cstdint>
#include <exception>
#include <stdexcept>
#include <string>

namespace Krod {

// Tag base of every library-specific error.
class Error {};

// The volume is not formatted for NTFS.
class EInvalidPartition : public std::exception, public Error {
  public:
    // "The partition specified is not formatted for NTFS."
    const char* what() const noexcept override;
};

// Base of the errors about one file record; never thrown alone.
class ErrorInFilerecord : public Error {
  public:
    explicit ErrorInFilerecord(FileReference reference) : reference_(reference) {}
    FileReference GetRecordReference() const { return reference_; }

  protected:
    // "MFC record #<number>(<sequence>)" followed by suffix.
    std::string Describe(const char* suffix) const;

  private:
    FileReference reference_;
};

// A record that should name a file has no usable FILE_NAME attribute.
class ENoFilenameAttribute : public std::exception, public ErrorInFilerecord {
  public:
    // Throws std::bad_alloc if the message cannot be formatted.
    explicit ENoFilenameAttribute(FileReference reference);
    // "MFC record #n(s) does not have FILE_NAME attribute."
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string message_;
};

// A record's FILE_NAME attributes contradict each other (too many Win32/DOS names).
class EMutExAttributesError : public std::exception, public ErrorInFilerecord {
  public:
    // Throws std::bad_alloc if the message cannot be formatted.
    explicit EMutExAttributesError(FileReference reference);
    // "MFC record #n(s) has several mutual exclusive FILE_NAME attributes."
    const char* what() const noexcept override { return message_.c_str(); }

  private:
    std::string message_;
};

// An operating-system call failed. what() is empty; the text comes from GetSystemMessage().
class ESystemError : public std::runtime_error, public Error {
  public:
    // Takes the code of the last failed system call: construct it right after the failing call.
    ESystemError();
    explicit ESystemError(platform::ErrorCode code);

    platform::ErrorCode GetErrorCode() const { return code_; }
    // The system's text for the code (or "(Cannot format error message)"), then " (<code>)".
    std::wstring GetSystemMessage() const;

  private:
    platform::ErrorCode code_;
};

} // namespace Krod
