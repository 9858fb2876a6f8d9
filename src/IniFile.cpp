// CIniFile: the private-profile functions over one file name, and the line classifier.
#include <tarn_kit/settings.h>

namespace tarn_kit {

CIniFile::CIniFile(const wchar_t* fileName) : m_strFileName(fileName) {}

CIniFile::~CIniFile() = default;

// The private-profile functions report truncation only through the length they return, so
// each read retries with a larger buffer until the result fits.

void CIniFile::EnumSections(std::vector<ustring>& sections)
{
    std::vector<wchar_t> buffer;
    DWORD size = 32;
    DWORD length = 0;
    do {
        size *= 2;
        buffer.assign(size, L'\0');
        length = ::GetPrivateProfileSectionNamesW(buffer.data(), size, m_strFileName.c_str());
        // A double-zero-terminated list that did not fit comes back as size - 2.
    } while (length == size - 2);
    ustring::split(buffer.data(), sections);
}

void CIniFile::EnumEntries(const wchar_t* section, std::vector<ustring>& entries)
{
    entries.clear();
    std::vector<wchar_t> buffer;
    DWORD size = 64;
    DWORD length = 0;
    for (;;) {
        buffer.assign(size, L'\0');
        length = ::GetPrivateProfileSectionW(section, buffer.data(), size, m_strFileName.c_str());
        if (length != size - 2)
            break;
        size = 2 * length; // 64, 124, 244, 484, ...
    }
    // The body ends at the returned length; the string's own terminator closes the list.
    const ustring body(buffer.data(), length);
    std::vector<ustring> lines, parts;
    ustring::split(body.c_str(), lines);
    for (const ustring& line : lines) {
        ustring::split(line.c_str(), L'=', parts, false);
        entries.push_back(parts.empty() ? ustring() : parts.front());
    }
}

bool CIniFile::DeleteSection(const wchar_t* section)
{
    return ::WritePrivateProfileSectionW(section, nullptr, m_strFileName.c_str()) != 0;
}

bool CIniFile::DeleteEntry(const wchar_t* section, const wchar_t* key)
{
    return ::WritePrivateProfileStringW(section, key, nullptr, m_strFileName.c_str()) != 0;
}

int CIniFile::GetInt(const wchar_t* section, const wchar_t* key, int def)
{
    return static_cast<int>(::GetPrivateProfileIntW(section, key, def, m_strFileName.c_str()));
}

ustring CIniFile::GetString(const wchar_t* section, const wchar_t* key, const wchar_t* def)
{
    std::vector<wchar_t> buffer;
    DWORD size = 32;
    DWORD length = 0;
    do {
        size *= 2;
        buffer.assign(size, L'\0');
        length = ::GetPrivateProfileStringW(section, key, def, buffer.data(), size,
                                            m_strFileName.c_str());
        // A single value that did not fit comes back as size - 1.
    } while (length == size - 1);
    return ustring(buffer.data());
}

bool CIniFile::WriteInt(const wchar_t* section, const wchar_t* key, int value)
{
    ustring text;
    text.sprintf(L"%d", value);
    return WriteString(section, key, text.c_str());
}

bool CIniFile::WriteString(const wchar_t* section, const wchar_t* key, const wchar_t* value)
{
    return ::WritePrivateProfileStringW(section, key, value, m_strFileName.c_str()) != 0;
}

CIniFile::EType CIniFile::TranslateSection(const ustring& line, ustring& name, ustring& value)
{
    name.clear();
    value.clear();
    const ustring text = line.substr(0, line.find(L';'));
    const std::size_t open = text.find(L'[');
    const std::size_t close = text.find(L']');
    if (open != ustring::npos && close != ustring::npos && close > open) {
        name = text.substr(open + 1, close - open - 1);
        return eSection;
    }
    std::vector<ustring> parts;
    ustring::split(text.c_str(), L'=', parts, false);
    if (!parts.empty())
        name = parts[0];
    if (parts.size() > 1)
        value = parts[1];
    return eEntry;
}

} // namespace tarn_kit
