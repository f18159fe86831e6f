#include "tree_plan.h"

#include "names.h"

#include <algorithm>
#include <stdexcept>

namespace genvol {
namespace {

// The top level every Windows volume has, plus \Windows\WinSxS, home of the heavily linked files.
const char* const kTopLevel[] = {"Users", "Windows", "Program Files", "ProgramData", "Projects", "Archive"};
constexpr uint32_t kUsers = 1; // indexes: the root comes first, then kTopLevel in order
constexpr uint32_t kWindows = 2;
// The profiles under \Users, which start that subtree large, as it is on a used machine.
const char* const kProfiles[] = {"Default", "Public", "ana", "bruno", "chen", "dmitri"};

std::string unique_child_name(const Plan& plan, uint32_t parent, const std::string& wanted) {
    const auto taken = [&](const std::string& name) {
        for (uint32_t child : plan.directories[parent].children)
            if (fold(plan.directories[child].name) == fold(name))
                return true;
        return false;
    };
    std::string name = wanted;
    for (unsigned copy = 2; taken(name); ++copy)
        name = wanted + " " + std::to_string(copy);
    return name;
}

std::string unique_child_short_name(const Plan& plan, uint32_t parent, const std::string& name) {
    const auto taken = [&](const std::string& short_name) {
        for (uint32_t child : plan.directories[parent].children)
            if (plan.directories[child].short_name == short_name)
                return true;
        return false;
    };
    unsigned ordinal = 1;
    while (taken(short_name(name, ordinal)))
        ++ordinal;
    return short_name(name, ordinal);
}

uint32_t add_directory(Plan& plan, uint32_t parent, const std::string& wanted, DirectoryKind kind) {
    PlannedDirectory directory;
    directory.parent = parent;
    directory.depth = plan.directories[parent].depth + 1;
    directory.name = unique_child_name(plan, parent, wanted);
    if (plan.directories[parent].short_names)
        directory.short_name = unique_child_short_name(plan, parent, directory.name);
    directory.kind = kind;
    const auto index = static_cast<uint32_t>(plan.directories.size());
    plan.directories.push_back(std::move(directory));
    plan.directories[parent].children.push_back(index);
    return index;
}

// Mostly one of the last few directories, which grows chains down to the depth limit; otherwise any but
// the root, whose children are the fixed top level.
uint32_t choose_parent(Prng& rng, const Plan& plan) {
    const auto count = static_cast<uint32_t>(plan.directories.size());
    for (unsigned attempt = 0; attempt < 8; ++attempt) {
        const uint32_t candidate = rng.chance(550) ? count - 1 - static_cast<uint32_t>(rng.below(8))
                                                   : 1 + static_cast<uint32_t>(rng.below(count - 1));
        const PlannedDirectory& directory = plan.directories[candidate];
        if (candidate != 0 && directory.kind == DirectoryKind::Normal && directory.depth < kMaxDepth)
            return candidate;
    }
    return 1;
}

uint32_t choose_target(Prng& rng, const Plan& plan) {
    for (;;) {
        const auto candidate = 1 + static_cast<uint32_t>(rng.below(plan.directories.size() - 1));
        if (plan.directories[candidate].kind == DirectoryKind::Normal)
            return candidate;
    }
}

// Most directories hold a few dozen files, some hundreds, a handful many thousands.
uint64_t file_weight(Prng& rng) {
    uint64_t weight = 1 + rng.below(16);
    if (rng.chance(40))
        weight *= 16;
    if (rng.chance(5))
        weight *= 160;
    return weight;
}

void distribute_files(Prng& rng, Plan& plan, uint64_t files) {
    std::vector<uint64_t> weights(plan.directories.size(), 0);
    uint64_t total = 0;
    for (size_t i = 0; i < weights.size(); ++i) {
        if (plan.directories[i].kind != DirectoryKind::Normal)
            continue;
        weights[i] = i == 0 ? 1 : i == plan.shared_home ? 64 : file_weight(rng);
        total += weights[i];
    }
    uint64_t given = 0;
    for (size_t i = 0; i < weights.size(); ++i) {
        plan.directories[i].files = files * weights[i] / total;
        given += plan.directories[i].files;
    }
    for (size_t i = 0; given < files; ++i)
        if (weights[i]) {
            ++plan.directories[i].files;
            ++given;
        }
}

} // namespace

Plan plan_tree(Prng& rng, uint64_t records) {
    if (records < 2000)
        throw std::invalid_argument("a volume needs at least 2000 records");
    const uint64_t normal = std::max<uint64_t>(40, records / 300);
    uint64_t junctions = std::max<uint64_t>(3, normal / 250);
    uint64_t deleted = std::max<uint64_t>(1, normal / 1000);

    Plan plan;
    plan.directories.emplace_back();
    for (const char* name : kTopLevel)
        add_directory(plan, 0, name, DirectoryKind::Normal);
    plan.shared_home = add_directory(plan, kWindows, "WinSxS", DirectoryKind::Normal);
    for (const char* name : kProfiles)
        add_directory(plan, kUsers, name, DirectoryKind::Normal);
    // What Windows leaves for old programs: the junction \Documents and Settings to \Users.
    const uint32_t settings = add_directory(plan, 0, "Documents and Settings", DirectoryKind::Junction);
    plan.directories[settings].target = kUsers;

    uint64_t normal_left = normal - (plan.directories.size() - 2);
    while (normal_left + junctions + deleted > 0) {
        const uint64_t draw = rng.below(normal_left + junctions + deleted);
        const uint32_t parent = choose_parent(rng, plan);
        uint32_t index;
        if (draw < junctions) {
            const uint32_t target = choose_target(rng, plan);
            index = add_directory(plan, parent, junction_name(rng), DirectoryKind::Junction);
            plan.directories[index].target = target;
            --junctions;
        } else if (draw < junctions + deleted) {
            index = add_directory(plan, parent, directory_name(rng, plan.directories[parent].depth + 1),
                                  DirectoryKind::Deleted);
            plan.directories[index].files = kFilesPerDeletedDirectory;
            --deleted;
        } else {
            index = add_directory(plan, parent, directory_name(rng, plan.directories[parent].depth + 1),
                                  DirectoryKind::Normal);
            plan.directories[index].short_names = rng.chance(250);
            --normal_left;
        }
    }

    uint64_t in_deleted = 0;
    for (const PlannedDirectory& directory : plan.directories)
        in_deleted += directory.files;
    const uint64_t fixed = kFirstUserRecord + (plan.directories.size() - 1) + in_deleted;
    if (records < fixed + plan.directories.size())
        throw std::invalid_argument("too few records for the planned directories");
    distribute_files(rng, plan, records - fixed);
    plan.file_records = records - kFirstUserRecord - (plan.directories.size() - 1);
    return plan;
}

} // namespace genvol
