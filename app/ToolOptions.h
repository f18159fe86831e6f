#pragma once
// The tool's command line: one free value (the search pattern) and 29 options.

#include "cmdline/CommandLine.h"

#include <cstdint>

// Option ids. The search reads every option through command_line::state(id); the help option
// ("-?", "-h") is cmdarg::help_id and has no state.
enum ToolOption : std::int32_t {
    kOptRange = 0,           // -range <begin> [<end>]: record range, int_value(0) and int_value(1)
    kOptCase = 1,            // -case: case-sensitive matching
    kOptDrive = 2,           // -d <drive>: the volume, value(0)
    kOptDeferred = 3,        // -deferred: print hits after the scan
    kOptAbout = 4,           // -about: show the about page; needs no pattern
    kOptRegex = 5,           // -regex: the pattern is a regular expression
    kOptNoCache = 6,         // -nocache: no directory cache
    kOptNoJunctions = 7,     // -JP: junction points not resolved
    kOptShowId = 8,          // -si
    kOptShowNamespace = 9,   // -snamespace
    kOptNoPath = 10,         // -sP
    kOptShowDrive = 11,      // -sd
    kOptShowSize = 12,       // -ssize
    kOptShowAllocated = 13,  // -salloc
    kOptSilent = 14,         // -silent: no start line, no summary
    kOptAllNamespaces = 15,  // -nall
    kOptWin32Namespace = 16, // -nwin32
    kOptDosNamespace = 17,   // -ndos
    kOptPosixNamespace = 18, // -nposix
    kOptNoDirs = 19,         // -fDIRS
    kOptNoFiles = 20,        // -fFILES
    kOptSizeRange = 21, // -fsize <min> [<max>]: size_value(0) and size_value(1), max all bits set by default
    kOptAllocatedRange = 22, // -falloc <min> [<max>]: as -fsize, for the allocated size
    kOptUnused = 23,         // -funused: records not in use are listed too
    kOptOnlyUnused = 24,     // -fUSED: only records not in use are listed
    kOptSystem = 25,         // -fsystem: special NTFS files are listed
    kOptOutFile = 26,        // -outfile <filename>: value(0)
    kOptOutCon = 27,         // -outCON: no result lines on the console
};

// The usage banner: printed before the option list, and the header of the help page.
extern const wchar_t* const ToolBanner;

// The tool's declarations, in help page order. The pattern is free_values[0] after parsing.
// Options start with "-" on POSIX and with "-" or "/" on Windows.
cmdarg::command_line BuildToolCommandLine();
