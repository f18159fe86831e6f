#include "app/ToolOptions.h"

#include "platform/Arguments.h"
#include "platform/Version.h"

#include <initializer_list>
#include <iterator>
#include <optional>

const wchar_t* const ToolBanner =
    L"Vesk " VESK_VERSION_WIDE L"\nSyntax: vesk [-<option>...] <filename> [-<option>...]\nOptions:";

namespace {

using cmdarg::subparam_type;

// Groups of the help page, in the order they are created; 0 is the default group.
enum ToolGroup : unsigned { kDefaultGroup, kOutputGroup, kColumnGroup, kNamespaceGroup, kFilterGroup };

struct GroupRow {
    const wchar_t* title;
    bool onlyOne;
};

constexpr GroupRow kGroups[] = {
    {L"", false},
    {L"Output redirection", false},
    {L"Column displaying options", false},
    {L"Filename namespace selection", true},
    {L"Result filtering options", false},
};

struct SubparamRow {
    bool mandatory;
    const wchar_t* defaultValue; // null: none
    subparam_type type;
    const wchar_t* name;
};

struct OptionRow {
    std::int32_t id;
    std::initializer_list<const wchar_t*> names; // primary name first
    const wchar_t* help;
    ToolGroup group;
    std::initializer_list<SubparamRow> subparams;
    bool needsNoPattern = false;
};

// The record range and the size filters read a mandatory lower and an optional upper bound.
constexpr SubparamRow LowerBound(const wchar_t* name) {
    return {true, L"0", subparam_type::integer, name};
}
constexpr SubparamRow UpperBound(const wchar_t* name) {
    return {false, L"-1", subparam_type::integer, name};
}
constexpr SubparamRow Text(const wchar_t* name) {
    return {true, nullptr, subparam_type::text, name};
}

} // namespace

cmdarg::command_line BuildToolCommandLine() {
    // Declaration order is help page order.
    const OptionRow options[] = {
        {cmdarg::help_id, {L"?", L"h"}, L"Help page", kDefaultGroup, {}},
        {kOptAbout, {L"about"}, L"About the VESK, license & legal info", kDefaultGroup, {}, true},
        {kOptDeferred, {L"deferred"}, L"List results after the search is complete", kDefaultGroup, {}},
        {kOptRange,
         {L"range"},
         L"Scan ID range lower and upper bounds",
         kDefaultGroup,
         {LowerBound(L"begin"), UpperBound(L"end")}},
        {kOptCase, {L"case"}, L"Case sensitive search", kDefaultGroup, {}},
        {kOptDrive,
         {L"d"},
         L"Specify drive letter (in form of 'd:') (default: current drive)",
         kDefaultGroup,
         {Text(L"drive")}},
        {kOptRegex, {L"regex"}, L"Use regular expressions", kDefaultGroup, {}},
        {kOptNoCache, {L"nocache"}, L"Disable directory cache", kDefaultGroup, {}},
        {kOptNoJunctions, {L"JP"}, L"Do not resolve junction points", kDefaultGroup, {}},
        {kOptOutFile, {L"outfile"}, L"Save output to Unicode file", kOutputGroup, {Text(L"filename")}},
        {kOptOutCon, {L"outCON"}, L"Suppress console output", kOutputGroup, {}},
        {kOptShowId, {L"si"}, L"Show file MFT ID", kColumnGroup, {}},
        {kOptShowSize, {L"ssize"}, L"Show file size", kColumnGroup, {}},
        {kOptShowAllocated, {L"salloc"}, L"Show allocated size", kColumnGroup, {}},
        {kOptShowNamespace, {L"snamespace"}, L"Show namespace of the filename", kColumnGroup, {}},
        {kOptShowDrive, {L"sd"}, L"Show drive letter", kColumnGroup, {}},
        {kOptNoPath, {L"sP"}, L"Do not show file path", kColumnGroup, {}},
        {kOptSilent, {L"silent"}, L"Only list found files, do not show summary", kColumnGroup, {}},
        {kOptAllNamespaces, {L"nall"}, L"Look all filename namespaces", kNamespaceGroup, {}},
        {kOptWin32Namespace, {L"nwin32"}, L"Look Win32 namespace (default)", kNamespaceGroup, {}},
        {kOptDosNamespace, {L"ndos"}, L"Look DOS namespace", kNamespaceGroup, {}},
        {kOptPosixNamespace, {L"nposix"}, L"Look POSIX namespace", kNamespaceGroup, {}},
        {kOptNoDirs, {L"fDIRS"}, L"Do not list directories", kFilterGroup, {}},
        {kOptNoFiles, {L"fFILES"}, L"Do not list regular files", kFilterGroup, {}},
        {kOptSizeRange,
         {L"fsize"},
         L"List only files with file size in range",
         kFilterGroup,
         {LowerBound(L"min"), UpperBound(L"max")}},
        {kOptAllocatedRange,
         {L"falloc"},
         L"List only files with allocated size in range",
         kFilterGroup,
         {LowerBound(L"min"), UpperBound(L"max")}},
        {kOptUnused, {L"funused"}, L"Include unused files in result", kFilterGroup, {}},
        {kOptOnlyUnused, {L"fUSED"}, L"Do not list used files", kFilterGroup, {}},
        {kOptSystem, {L"fsystem"}, L"Show special NTFS files", kFilterGroup, {}},
    };

    cmdarg::command_line commandLine(1, 1); // exactly one pattern
    commandLine.switch_chars = platform::OptionSwitchChars;
    // The first option of a group gets a new group; later ones share the group of the first.
    std::optional<std::int32_t> firstMember[std::size(kGroups)];
    for (const OptionRow& row : options) {
        cmdarg::parameter option(row.id, *row.names.begin());
        for (auto alias = std::next(row.names.begin()); alias != row.names.end(); ++alias)
            option.add_alias(*alias);
        option.help = row.help;
        for (const SubparamRow& subparam : row.subparams)
            option.add_subparam(subparam.mandatory, subparam.defaultValue, subparam.type, subparam.name,
                                false);
        if (row.group != kDefaultGroup) {
            std::optional<std::int32_t>& first = firstMember[row.group];
            if (first)
                option.set_group(commandLine.find(*first));
            else
                option.set_group(cmdarg::group(kGroups[row.group].onlyOne, false, kGroups[row.group].title));
            first = first.value_or(row.id);
        }
        if (row.needsNoPattern)
            option.set_min_free(0);
        commandLine.add(option);
    }
    return commandLine;
}
