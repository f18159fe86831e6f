#pragma once
// The about page: what the program is, its warranty terms, where to reach its authors.

#include <iosfwd>

// Writes the about page to out: notice; empty line, disclaimer; empty line, web site, e-mail;
// empty line, beta notice. Every line ends with a flush.
void PrintAboutPage(std::wostream& out);
