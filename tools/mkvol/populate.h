// Filling a formatted image from a recipe's commands through libntfs-3g, without a mount.
#pragma once

#include "alteration.h"
#include "recipe.h"

#include <string>
#include <vector>

namespace mkvol {

// Runs every command after the geometry line, in order, on the volume in image, and closes the
// volume. Edits and damage are not applied here: their paths are resolved to record numbers while
// the volume is open and they are returned, in recipe order, to be applied to the closed image.
// Throws std::runtime_error naming the recipe line that failed.
std::vector<Alteration> Populate(const std::string& image, const std::vector<Command>& commands);

} // namespace mkvol
