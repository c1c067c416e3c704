// m3gseeds: writes the seed corpus of the 3D file parser's fuzz target into a
// folder. Each seed is a fuzz input: a count k, k piece sizes, then the file.
// Seeds named "ok-" are whole, valid files; "bad-" ones break one rule each.
//
//     m3gseeds <folder>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/m3g/M3gAnimationEncoders.h"
#include "tools/m3g/M3gFileWriter.h"
#include "tools/m3g/M3gGeometryEncoders.h"
#include "tools/m3g/M3gImageEncoders.h"

namespace {

// The test objects' record: Int32 user id, counted object indices, counted floats.
M3gRecord testObject(uint8_t type, int32_t userId, std::vector<uint32_t> references, std::vector<float> floats)
{
    return M3gRecordWriter().int32(userId).uint32Array(references).floatArray(floats).record(type);
}

std::vector<uint8_t> scene(M3gFlavour flavour, uint8_t scheme, bool withReferences)
{
    M3gFileWriter w(flavour);
    w.setHeaderScheme(scheme);
    w.setAuthoringField("m3gseeds");
    uint32_t reference = 0;
    if (withReferences) {
        reference = w.addExternalReference("textures\\wall.png");
        w.addExternalReference("props.m3g");
    }
    w.beginSection(scheme);
    const uint32_t a = w.addObject(testObject(10, 1, {reference}, {1.0f, 0.5f}));
    const uint32_t b = w.addObject(testObject(20, 2, {}, std::vector<float>(300, 3.25f)));
    w.beginSection(kM3gSchemeNone);
    const uint32_t c = w.addObject(testObject(9, 3, {a, b, 0}, {}));
    if (flavour == M3gFlavour::Own)
        w.addObject(testObject(24, 5, {}, {}));
    w.beginSection(scheme);
    w.addObject(testObject(22, 4, {c}, {-2.0f}));
    return w.finish();
}

std::vector<uint8_t> seed(std::vector<uint8_t> pieces, const std::vector<uint8_t>& file, bool allowOwn = true)
{
    std::vector<uint8_t> out;
    out.push_back(static_cast<uint8_t>(pieces.size() | (allowOwn ? 0 : 0x80)));
    out.insert(out.end(), pieces.begin(), pieces.end());
    out.insert(out.end(), file.begin(), file.end());
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: m3gseeds <folder>\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    auto save = [&](const std::string& name, const std::vector<uint8_t>& bytes) {
        std::ofstream out(folder / name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    };

    const std::vector<uint8_t> plain = scene(M3gFlavour::M3g, kM3gSchemeNone, false);
    const std::vector<uint8_t> packed = scene(M3gFlavour::M3g, kM3gSchemeZlib, true);
    const std::vector<uint8_t> own = scene(M3gFlavour::Own, kM3gSchemeZlib, true);
    save("ok-plain-whole", seed({}, plain));
    save("ok-plain-bytes", seed({1}, plain));
    save("ok-zlib-refs-1024", seed({0, 0, 0, 0}, packed));
    save("ok-zlib-refs-mixed", seed({7, 1, 200, 13, 64}, packed));
    save("ok-own-whole", seed({}, own));
    save("bad-own-refused", seed({}, own, false));
    // Meshes with their buffers and strips, whole for the loader and in
    // pieces for the parser.
    const std::vector<uint8_t> mesh = m3gSampleMeshScene(kM3gSchemeZlib);
    save("mesh-file", mesh);
    save("mesh-pieces", seed({9, 1, 33}, m3gSampleMeshScene(kM3gSchemeNone)));
    // Keyframes, tracks, skinned and morphing meshes.
    save("animation-file", m3gSampleAnimatedScene(kM3gSchemeZlib));
    // An image larger than the engine takes: the load ends out of memory, in
    // a plain section and behind the inflater.
    for (const uint8_t scheme : {kM3gSchemeNone, kM3gSchemeZlib}) {
        M3gFileWriter w;
        w.beginSection(scheme);
        M3gImage2DFields image;
        image.isMutable = true;
        image.width = image.height = 20000;
        w.addObject(m3gImage2DRecord(image));
        save(scheme == kM3gSchemeNone ? "huge-image" : "huge-image-zlib", w.finish());
    }

    std::vector<uint8_t> flipped = packed;
    flipped[flipped.size() / 2] ^= 0x10;
    save("bad-flipped", seed({3}, flipped));
    save("bad-truncated", seed({}, std::vector<uint8_t>(plain.begin(), plain.end() - 7)));
    std::vector<uint8_t> trailing = plain;
    trailing.push_back(0);
    save("bad-trailing", seed({5}, trailing));
    std::vector<uint8_t> scheme = plain;
    scheme[12] = 2;
    save("bad-scheme", seed({}, scheme));
    std::vector<uint8_t> shortSection = plain;
    shortSection[13] = 12;
    shortSection[14] = shortSection[15] = shortSection[16] = 0;
    save("bad-section-length", seed({2}, shortSection));
    std::vector<uint8_t> identifier = plain;
    identifier[3] = 'X';
    save("bad-identifier", seed({1}, identifier));
    save("bad-empty", seed({}, {}));
    return 0;
}
