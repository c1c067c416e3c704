#include "platform/host/HostRegistry.h"

#include "platform/host/HandleTable.h"
#include "platform/host/HostText.h"
#include "platform/host/LastError.h"

#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

struct Value {
    DWORD type = 0;
    std::vector<BYTE> bytes;
};

using Key = std::map<std::u16string, Value>;

std::map<std::u16string, Key>& tree()
{
    static std::map<std::u16string, Key> t;
    return t;
}

class HostKeyObject final : public HostObject {
public:
    static constexpr HandleKind kKind = HandleKind::RegistryKey;
    explicit HostKeyObject(std::u16string path) : HostObject(kKind), m_path(std::move(path)) {}
    const std::u16string& path() const { return m_path; }

private:
    std::u16string m_path;
};

std::u16string folded(LPCWSTR text)
{
    std::u16string out;
    for (size_t i = 0, n = hostWideLength(text); i < n; ++i)
        out += text[i] >= u'A' && text[i] <= u'Z' ? char16_t(text[i] + 32) : text[i];
    return out;
}

// The folded full path of a key below a root or an open key; false for a
// parent that is neither.
bool pathBelow(HKEY parent, LPCWSTR subKey, std::u16string& out)
{
    const uintptr_t root = reinterpret_cast<uintptr_t>(parent);
    if (root >= 0x80000000u && root <= 0x80000002u) {
        out = std::u16string(1, char16_t(u'0' + (root - 0x80000000u)));
    } else if (const HostKeyObject* key = hostHandleAs<HostKeyObject>(parent)) {
        out = key->path();
    } else {
        return false;
    }
    std::u16string rest = folded(subKey);
    while (!rest.empty() && rest.back() == u'\\')
        rest.pop_back();
    if (!rest.empty())
        out += u'\\' + rest;
    return true;
}

} // namespace

LONG RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD, REGSAM, HKEY* result)
{
    if (!result)
        return ERROR_INVALID_PARAMETER;
    *result = nullptr;
    std::u16string path;
    if (!pathBelow(parent, subKey, path))
        return ERROR_INVALID_HANDLE;
    if (!tree().count(path))
        return ERROR_FILE_NOT_FOUND;
    HANDLE handle = hostCreateHandle(std::make_unique<HostKeyObject>(std::move(path)));
    if (!handle)
        return ERROR_NOT_ENOUGH_MEMORY;
    *result = handle;
    return ERROR_SUCCESS;
}

LONG RegQueryValueExW(HKEY key, LPCWSTR valueName, DWORD*, DWORD* type, BYTE* data, DWORD* size)
{
    const HostKeyObject* object = hostHandleAs<HostKeyObject>(key);
    if (!object)
        return ERROR_INVALID_HANDLE;
    if (data && !size)
        return ERROR_INVALID_PARAMETER;
    const auto keyIt = tree().find(object->path());
    if (keyIt == tree().end())
        return ERROR_FILE_NOT_FOUND;
    const auto valueIt = keyIt->second.find(folded(valueName));
    if (valueIt == keyIt->second.end())
        return ERROR_FILE_NOT_FOUND;
    const Value& value = valueIt->second;
    const DWORD needed = static_cast<DWORD>(value.bytes.size());
    if (type)
        *type = value.type;
    if (data) {
        if (*size < needed) {
            *size = needed;
            return ERROR_MORE_DATA;
        }
        if (needed)
            std::memcpy(data, value.bytes.data(), needed);
    }
    if (size)
        *size = needed;
    return ERROR_SUCCESS;
}

LONG RegCloseKey(HKEY key)
{
    return hostCloseHandle(key, HandleKind::RegistryKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

void hostRegistrySetValue(HKEY root, LPCWSTR subKey, LPCWSTR valueName, DWORD type, const void* data, DWORD size)
{
    std::u16string path;
    if (!pathBelow(root, subKey, path))
        return;
    // Every key on the way exists once one below it does.
    for (size_t at = path.find(u'\\'); at != std::u16string::npos; at = path.find(u'\\', at + 1))
        tree()[path.substr(0, at)];
    Value& value = tree()[path][folded(valueName)];
    value.type = type;
    const BYTE* bytes = static_cast<const BYTE*>(data);
    value.bytes.assign(bytes, bytes + (bytes ? size : 0));
}

void hostRegistryClear()
{
    tree().clear();
}
