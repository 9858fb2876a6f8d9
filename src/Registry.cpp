// Registry helpers: one key opened, one thing done, the key closed again.
#include <tarn_kit/file.h>
#include <tarn_kit/settings.h>

#include <cwchar>

namespace tarn_kit {

namespace {

// Closes the key it was given when the call ends, on every path.
class CKeyCloser
{
public:
    explicit CKeyCloser(HKEY key) noexcept : m_key(key) {}
    CKeyCloser(const CKeyCloser&) = delete;
    CKeyCloser& operator=(const CKeyCloser&) = delete;
    ~CKeyCloser() { ::RegCloseKey(m_key); }

private:
    HKEY m_key;
};

// RegCreateKeyExW takes no null path; an empty one means the root key itself.
const wchar_t* PathOrEmpty(const wchar_t* subkey) noexcept
{
    return subkey ? subkey : L"";
}

LONG CreateKey(HKEY root, const wchar_t* subkey, HKEY& key) noexcept
{
    return ::RegCreateKeyExW(root, PathOrEmpty(subkey), 0, nullptr, REG_OPTION_NON_VOLATILE,
                             KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr);
}

template <class Enum>
bool EnumNames(HKEY root, const wchar_t* subkey, std::vector<ustring>& names, Enum enumerate)
{
    names.clear();
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return false;
    CKeyCloser closer(key);
    wchar_t name[256];
    for (DWORD index = 0;; ++index) {
        DWORD length = 256;
        // ERROR_NO_MORE_ITEMS ends the list; so does any error, a longer name included.
        if (enumerate(key, index, name, &length) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return true;
}

} // namespace

bool RegGetValue(HKEY root, const wchar_t* subkey, const wchar_t* name, ustring& value,
                 const wchar_t* def)
{
    value = def;
    HKEY key = nullptr;
    LONG status = ::RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS)
        return false;
    CKeyCloser closer(key);
    DWORD type = 0, size = 0;
    status = ::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size);
    if (status != ERROR_SUCCESS)
        return false;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return false; // ERROR_INVALID_DATATYPE
    // The text is read into a buffer of its own so that a failure keeps the default.
    // size / 2 characters: an odd last byte does not fit, and the query fails with
    // ERROR_MORE_DATA.
    ustring text(size / 2, L'\0');
    size = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    status =
        ::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&text[0]), &size);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return false;
    // Drops the stored terminator, or anything after an embedded zero.
    text.resize(std::wcslen(text.c_str()));
    value.swap(text);
    return true;
}

bool RegGetValue(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD& value, DWORD def)
{
    value = def;
    HKEY key = nullptr;
    if (::RegOpenKeyExW(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return false;
    CKeyCloser closer(key);
    // The type is checked before the size: a 4-byte REG_BINARY is no number.
    DWORD type = 0, size = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(DWORD))
        return false;
    DWORD number = 0;
    if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(DWORD))
        return false;
    value = number;
    return true;
}

bool RegWriteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, const wchar_t* value)
{
    HKEY key = nullptr;
    if (CreateKey(root, subkey, key) != ERROR_SUCCESS)
        return false;
    CKeyCloser closer(key);
    if (!value)
        value = L"";
    // The terminating zero is stored with the text.
    const DWORD size = static_cast<DWORD>((std::wcslen(value) + 1) * sizeof(wchar_t));
    return ::RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), size) ==
           ERROR_SUCCESS;
}

bool RegWriteValue(HKEY root, const wchar_t* subkey, const wchar_t* name, DWORD value)
{
    HKEY key = nullptr;
    if (CreateKey(root, subkey, key) != ERROR_SUCCESS)
        return false;
    CKeyCloser closer(key);
    return ::RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                            sizeof value) == ERROR_SUCCESS;
}

bool RegDeleteValueW(HKEY root, const wchar_t* subkey, const wchar_t* name)
{
    HKEY key = nullptr;
    if (CreateKey(root, subkey, key) != ERROR_SUCCESS)
        return false;
    CKeyCloser closer(key);
    return ::RegDeleteValueW(key, name) == ERROR_SUCCESS;
}

bool RegCreateKeyW(HKEY root, const wchar_t* subkey)
{
    HKEY key = nullptr;
    if (CreateKey(root, subkey, key) != ERROR_SUCCESS)
        return false;
    ::RegCloseKey(key);
    return true;
}

bool RegDeleteKeyW(HKEY root, const wchar_t* subkey)
{
    // The platform's function takes no null path (Windows may fault on one).
    return subkey && ::RegDeleteKeyW(root, subkey) == ERROR_SUCCESS;
}

bool RegEnumSubKeys(HKEY root, const wchar_t* subkey, std::vector<ustring>& names)
{
    return EnumNames(root, subkey, names, [](HKEY key, DWORD index, wchar_t* name, DWORD* length) {
        return ::RegEnumKeyExW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

bool RegEnumValues(HKEY root, const wchar_t* subkey, std::vector<ustring>& names)
{
    return EnumNames(root, subkey, names, [](HKEY key, DWORD index, wchar_t* name, DWORD* length) {
        return ::RegEnumValueW(key, index, name, length, nullptr, nullptr, nullptr, nullptr);
    });
}

bool RegGetDefaultKeyName(const wchar_t* company, const wchar_t* product, const wchar_t* section,
                          ustring& keyName)
{
    keyName.clear();
    ustring name;
    if (!product) {
        wchar_t path[MAX_PATH] = {};
        if (::GetModuleFileNameW(nullptr, path, MAX_PATH) == 0)
            return false;
        ustring drive, dir, ext;
        CFile::SplitPath(path, drive, dir, name, ext);
        product = name;
    }
    if (!company)
        company = L"QOR";
    if (section)
        keyName.sprintf(L"SOFTWARE\\%s\\%s\\%s", company, product, section);
    else
        keyName.sprintf(L"SOFTWARE\\%s\\%s", company, product);
    return true;
}

} // namespace tarn_kit
