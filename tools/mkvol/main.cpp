// vesk-mkvol: builds the project's test volumes from recipes and patches built images.
//
//   vesk-mkvol build RECIPE IMAGE         format, fill, edit; write IMAGE.manifest; then damage
//   vesk-mkvol manifest IMAGE             print the manifest of an image
//   vesk-mkvol patch IMAGE record=N offset=O bytes=HEX   change a record's logical bytes
//   vesk-mkvol raw IMAGE offset=O bytes=HEX              change bytes at an image offset
#include "alteration.h"
#include "format.h"
#include "manifest.h"
#include "mft_image.h"
#include "populate.h"
#include "recipe.h"

#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>

namespace {

constexpr const char* kUsage = "usage: vesk-mkvol build RECIPE IMAGE\n"
                               "       vesk-mkvol manifest IMAGE\n"
                               "       vesk-mkvol patch IMAGE record=N offset=O bytes=HEX\n"
                               "       vesk-mkvol raw IMAGE offset=O bytes=HEX\n";

// The geometry line's values, checked as mkntfs would.
mkvol::Geometry GeometryOf(const mkvol::Command& command) {
    if (command.verb != "geometry")
        command.Fail("a recipe starts with geometry, not " + command.verb);
    mkvol::Geometry g;
    g.sector = static_cast<uint32_t>(command.Number("sector", 512));
    g.cluster = static_cast<uint32_t>(command.Number("cluster", 4096));
    g.size = command.Number("size");
    if (const std::string problem = mkvol::GeometryProblem(g); !problem.empty())
        command.Fail(problem);
    return g;
}

// Format, fill, edit, take the manifest, damage: the order the README gives.
void BuildPartial(const std::vector<mkvol::Command>& commands, const std::string& partial,
                  const std::string& image) {
    mkvol::FormatImage(partial, GeometryOf(commands.front()));
    const std::vector<mkvol::Alteration> alterations = mkvol::Populate(partial, commands);
    {
        mkvol::MftImage mft(partial);
        for (const auto& a : alterations)
            if (!a.IsDamage())
                mkvol::Apply(mft, a);
    }
    std::ostringstream manifest;
    mkvol::WriteManifest(partial, manifest);
    {
        mkvol::MftImage mft(partial);
        for (const auto& a : alterations)
            if (a.IsDamage()) {
                mkvol::Apply(mft, a);
                manifest << mkvol::DescribeDamage(a) << "\n";
            }
    }
    std::ofstream out(image + ".manifest", std::ios::trunc);
    out << manifest.str();
    if (!out.flush())
        throw std::runtime_error(image + ".manifest: cannot write");
    if (std::rename(partial.c_str(), image.c_str()) != 0)
        throw std::runtime_error(image + ": cannot rename the finished image");
}

// The image is built under a temporary name and renamed at the end, so that an interrupted or
// failed build never leaves an image that looks finished.
void Build(const std::string& recipePath, const std::string& image) {
    std::ifstream in(recipePath);
    if (!in)
        throw std::runtime_error(recipePath + ": cannot read");
    const std::vector<mkvol::Command> commands = mkvol::ParseRecipe(in, recipePath);
    if (commands.empty())
        throw std::runtime_error(recipePath + ": empty recipe");

    const std::string partial = image + ".partial";
    try {
        BuildPartial(commands, partial, image);
    } catch (...) {
        std::remove(partial.c_str());
        throw;
    }
}

// The key=value arguments of patch and raw, as one recipe command.
mkvol::Command Arguments(int argc, char** argv) {
    std::string line = argv[1];
    for (int i = 3; i < argc; ++i)
        line += std::string(" ") + argv[i];
    std::istringstream in(line);
    std::vector<mkvol::Command> commands = mkvol::ParseRecipe(in, "arguments");
    if (commands.size() != 1 || !commands[0].operands.empty())
        throw std::runtime_error("expected key=value arguments only");
    return commands[0];
}

void Patch(int argc, char** argv) {
    const mkvol::Command c = Arguments(argc, argv);
    mkvol::Alteration a;
    a.origin = argv[2];
    a.offset = c.Number("offset");
    a.bytes = c.Bytes("bytes");
    if (c.verb == "patch") {
        a.kind = mkvol::Alteration::Kind::RecordPatch;
        a.record = c.Number("record");
    }
    mkvol::MftImage mft(argv[2]);
    mkvol::Apply(mft, a);
}

} // namespace

int main(int argc, char** argv) {
    try {
        const std::string verb = argc > 1 ? argv[1] : "";
        if (verb == "build" && argc == 4) {
            Build(argv[2], argv[3]);
        } else if (verb == "manifest" && argc == 3) {
            mkvol::WriteManifest(argv[2], std::cout);
        } else if ((verb == "patch" || verb == "raw") && argc >= 4) {
            Patch(argc, argv);
        } else {
            std::cerr << kUsage;
            return 2;
        }
    } catch (const std::exception& e) {
        std::cerr << "vesk-mkvol: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
