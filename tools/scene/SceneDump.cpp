// Everything goes through initEngineApi and the method tables, as the game's
// own code would; handles are released as soon as their object is printed.
#include "tools/scene/SceneDump.h"

#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/runtime/CkwRefCount.h"

namespace {

class Dumper {
public:
    Dumper(std::string& out) : m_out(out) {}

    // Prints the object and, the first time, what it references.
    EngineResult walk(EngineHandle* handle, int depth)
    {
        const auto& object = tableOf<IkwObject3DTable>(handle);
        uint32_t userId = 0;
        object.getUserID(handle, &userId);
        const CkwRefCount* identity = handle->object;
        m_out += std::to_string(depth) + " " + std::to_string(identity->getClassId()) + " "
                 + std::to_string(static_cast<int32_t>(userId));
        if (!m_seen.insert(identity).second) {
            m_out += " seen\n";
            return 0;
        }
        m_out += "\n";
        uint32_t count = 0;
        if (EngineResult r = object.getReferences(handle, 0, nullptr, &count); r != 0)
            return r;
        std::vector<EngineHandle*> references(count);
        EngineResult result = object.getReferences(handle, count, references.data(), &count);
        for (EngineHandle* reference : references) {
            if (result == 0 && reference != nullptr)
                result = walk(reference, depth + 1);
            if (reference != nullptr)
                tableOf<IkwUnknownTable>(reference).release(reference);
        }
        return result;
    }

private:
    std::string& m_out;
    std::set<const CkwRefCount*> m_seen;
};

EngineResult load(const IkwEngineTable& api, const std::vector<uint8_t>& bytes, std::string& out)
{
    EngineHandle* loader = nullptr;
    EngineResult result = api.createEngineObject(kIidLoader, &loader);
    if (result != 0)
        return result;
    const auto& l = tableOf<IkwLoaderTable>(loader);
    result = l.loadBuffer(loader, static_cast<uint32_t>(bytes.size()), bytes.data(), nullptr);
    uint32_t roots = 0;
    if (result == 0)
        l.getRootCount(loader, &roots);
    std::string lines;
    Dumper dumper(lines);
    for (uint32_t i = 0; i < roots && result == 0; ++i) {
        EngineHandle* root = nullptr;
        result = l.getRoot(loader, i, &root);
        if (result == 0 && root != nullptr) {
            result = dumper.walk(root, 0);
            tableOf<IkwUnknownTable>(root).release(root);
        }
    }
    tableOf<IkwUnknownTable>(loader).release(loader);
    if (result == 0)
        out += lines + "roots " + std::to_string(roots) + "\n";
    return result;
}

} // namespace

int dumpScene(const std::string& path, std::string& out)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        out += "error " + std::to_string(mapLeaveCode(-2)) + "\n";
        return 1;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    IkwEngine* root = nullptr;
    EngineResult result = initEngineApi(&root);
    if (result == 0) {
        result = root->table->initialize(root, nullptr, nullptr);
        if (result == 0)
            result = load(*root->table, bytes, out);
        root->table->release(root);
    }
    if (result != 0) {
        out += "error " + std::to_string(result) + "\n";
        return 1;
    }
    return 0;
}
