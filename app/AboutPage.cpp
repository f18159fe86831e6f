#include "app/AboutPage.h"

#include "platform/AboutStrings.h"

#include <ostream>

void PrintAboutPage(std::wostream& out) {
    using platform::LoadAboutString;
    out << LoadAboutString(platform::kAboutNotice) << std::endl;
    out << std::endl << LoadAboutString(platform::kAboutDisclaimer) << std::endl;
    out << std::endl << LoadAboutString(platform::kAboutWebSite) << std::endl;
    out << LoadAboutString(platform::kAboutEmail) << std::endl;
    out << std::endl << LoadAboutString(platform::kAboutBeta) << std::endl;
}
