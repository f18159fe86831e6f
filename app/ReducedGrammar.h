#pragma once

#include <string>

// Case-insensitive searches read the pattern in a reduced grammar, narrower than Perl's:
//
//   . * + ? | ( ) ^ $   keep their usual meaning, and so do bracket expressions;
//   { }                 are ordinary characters: there are no repeat counts;
//   \c                  stands for the character c itself, whatever c is (so there are no
//                       character-class escapes, no back-references and no quoting runs);
//   inside [ ]          a backslash and an opening bracket are ordinary characters, so neither
//                       escapes nor class names such as [:alpha:] exist there;
//   (? (* (+            are errors, as is a repeat at the start or after '|', '^' or '$': there
//                       is nothing for it to repeat, and the Perl extensions that start this way
//                       do not exist;
//   stacked repeats     such as a*? or a++ repeat the repeat, so they mean a* and a+ rather than a
//                       lazy or possessive repeat.
//
// The regular-expression engine knows only Perl's grammar, so a reduced-grammar expression is
// rewritten into the Perl expression that means the same before it is compiled.

// Returns the Perl expression equivalent to expression, read in the reduced grammar. Throws
// boost::regex_error for a trailing backslash, an unterminated bracket expression or a repeat
// that has nothing to repeat; every other error is left to the engine that compiles the result.
std::wstring ReducedGrammarToPerl(const std::wstring& expression);
