#pragma once

#include <string>

// A wildcard mask is turned into a regular expression by escaping, not by parsing: every character
// that an expression would read as an operator gets a backslash, and every wildcard gets a full stop
// in front of it, so '*' becomes ".*" (any run of characters) and '?' becomes ".?" (one character or
// none). A backslash in the mask is left alone and so still escapes whatever follows it.

// Inserts ch in front of every character of text that occurs in set; the inserted characters are not
// examined again.
void InsertBefore(std::wstring& text, const wchar_t* set, wchar_t ch);

// Rewrites a wildcard mask in place into the regular expression that matches the same names:
// "*.txt" becomes ".*\.txt", "f(1)[2].doc" becomes "f\(1\)\[2\]\.doc".
void WildcardToRegex(std::wstring& pattern);
