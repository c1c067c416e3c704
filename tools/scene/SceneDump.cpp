// Everything goes through initEngineApi and the method tables, as the game's
// own code would; handles are released as soon as their object is printed.
#include "tools/scene/SceneDump.h"

#include <set>
#include <vector>

#include "engine/core/interface/IkwEngine.h"
#include "engine/core/interface/InterfaceIds.h"
#include "engine/core/runtime/CkwRefCount.h"

namespace {

void release(EngineHandle* handle)
{
    tableOf<IkwUnknownTable>(handle).release(handle);
}

// Depth first over an explicit stack: a hostile file can nest objects far
// deeper than the call stack would take.
class Dumper {
public:
    Dumper(std::string& out) : m_out(out) {}

    // Prints the object and, the first time, everything it references. The
    // caller keeps its handle to the object.
    EngineResult walk(EngineHandle* root)
    {
        EngineResult result = enter(root, nullptr, 0);
        while (!m_stack.empty()) {
            Frame& top = m_stack.back();
            if (top.next == top.references.size()) {
                if (top.owned != nullptr)
                    release(top.owned);
                m_stack.pop_back();
                continue;
            }
            EngineHandle* reference = top.references[top.next++];
            const int depth = top.depth + 1;
            if (reference == nullptr)
                continue;
            if (result == 0)
                result = enter(reference, reference, depth);
            else
                release(reference);
        }
        return result;
    }

private:
    struct Frame {
        EngineHandle* owned;  // released once its references are done
        std::vector<EngineHandle*> references;
        size_t next = 0;
        int depth;
    };

    // Prints one line; an object met for the first time gets a frame for its
    // references, else the owned handle goes back at once.
    EngineResult enter(EngineHandle* handle, EngineHandle* owned, int depth)
    {
        const auto& object = tableOf<IkwObject3DTable>(handle);
        uint32_t userId = 0;
        object.getUserID(handle, &userId);
        const CkwRefCount* identity = handle->object;
        m_out += std::to_string(depth) + " " + std::to_string(identity->getClassId()) + " "
                 + std::to_string(static_cast<int32_t>(userId));
        uint32_t count = 0;
        EngineResult result = 0;
        if (!m_seen.insert(identity).second) {
            m_out += " seen";
        } else if (result = object.getReferences(handle, 0, nullptr, &count); result == 0) {
            std::vector<EngineHandle*> references(count);
            result = object.getReferences(handle, count, references.data(), &count);
            m_out += "\n";
            m_stack.push_back(Frame{owned, std::move(references), 0, depth});
            return result;
        }
        m_out += "\n";
        if (owned != nullptr)
            release(owned);
        return result;
    }

    std::string& m_out;
    std::set<const CkwRefCount*> m_seen;
    std::vector<Frame> m_stack;
};

// By name, so the file's external references resolve beside it.
EngineResult load(const IkwEngineTable& api, const std::string& path, std::string& out)
{
    EngineHandle* loader = nullptr;
    EngineResult result = api.createEngineObject(kIidLoader, &loader);
    if (result != 0)
        return result;
    const auto& l = tableOf<IkwLoaderTable>(loader);
    result = l.loadName(loader, path.c_str(), nullptr);
    uint32_t roots = 0;
    if (result == 0)
        l.getRootCount(loader, &roots);
    std::string lines;
    Dumper dumper(lines);
    for (uint32_t i = 0; i < roots && result == 0; ++i) {
        EngineHandle* root = nullptr;
        result = l.getRoot(loader, i, &root);
        if (result == 0 && root != nullptr) {
            result = dumper.walk(root);
            release(root);
        }
    }
    release(loader);
    if (result == 0)
        out += lines + "roots " + std::to_string(roots) + "\n";
    return result;
}

} // namespace

int32_t loadAndDumpScene(const std::string& path, std::string& out)
{
    IkwEngine* root = nullptr;
    EngineResult result = initEngineApi(&root);
    if (result == 0) {
        result = root->table->initialize(root, nullptr, nullptr);
        if (result == 0)
            result = load(*root->table, path, out);
        root->table->release(root);
    }
    return result;
}

int dumpScene(const std::string& path, std::string& out)
{
    const int32_t result = loadAndDumpScene(path, out);
    if (result != 0) {
        out += "error " + std::to_string(result) + "\n";
        return 1;
    }
    return 0;
}
