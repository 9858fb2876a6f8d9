// Variant ordering and conversion, and small numeric helpers.
//
// On x86 this file is built for SSE2 arithmetic so that round and the angle
// conversions round every step to double, as on x64 (x87 extended precision
// would turn round(0.49999999999999994) into 0).
#include <tarn_kit/variant.h>

#include <oleauto.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cwchar>

namespace tarn_kit {

namespace {

// Clears a VARIANT when the scope ends.
class CVariantClear
{
public:
    explicit CVariantClear(VARIANT& v) noexcept : m_v(v) {}
    ~CVariantClear() { ::VariantClear(&m_v); }
    CVariantClear(const CVariantClear&) = delete;
    CVariantClear& operator=(const CVariantClear&) = delete;

private:
    VARIANT& m_v;
};

// A null BSTR is OLE Automation's empty text.
const wchar_t* Text(const wchar_t* s) noexcept
{
    return s ? s : L"";
}

template <class T>
int Order(T a, T b) noexcept
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

bool IsOrdered(VARTYPE vt) noexcept
{
    switch (vt) {
    case VT_I1:
    case VT_I2:
    case VT_I4:
    case VT_INT:
    case VT_I8:
    case VT_UI1:
    case VT_UI2:
    case VT_UI4:
    case VT_UINT:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_BOOL:
    case VT_BSTR:
        return true;
    default:
        return false;
    }
}

// a and b have the same, ordered type.
int CompareSameType(const VARIANT& a, const VARIANT& b) noexcept
{
    switch (a.vt) {
    case VT_I1:
        return Order<signed char>(a.cVal, b.cVal);
    case VT_I2:
        return Order(a.iVal, b.iVal);
    case VT_I4:
        return Order(a.lVal, b.lVal);
    case VT_INT:
        return Order(a.intVal, b.intVal);
    case VT_I8:
        return Order(a.llVal, b.llVal);
    case VT_UI1:
        return Order(a.bVal, b.bVal);
    case VT_UI2:
        return Order(a.uiVal, b.uiVal);
    case VT_UI4:
        return Order(a.ulVal, b.ulVal);
    case VT_UINT:
        return Order(a.uintVal, b.uintVal);
    case VT_UI8:
        return Order(a.ullVal, b.ullVal);
    case VT_R4:
        return Order(a.fltVal, b.fltVal); // NaN is neither less nor greater: 0
    case VT_R8:
        return Order(a.dblVal, b.dblVal);
    case VT_BOOL:
        return Order(a.boolVal != 0, b.boolVal != 0);
    case VT_BSTR:
        return std::wcscmp(Text(a.bstrVal), Text(b.bstrVal));
    default:
        return 0;
    }
}

bool IsSigned32(VARTYPE vt) noexcept
{
    return vt == VT_I1 || vt == VT_I2 || vt == VT_I4 || vt == VT_INT;
}

bool IsUnsigned32(VARTYPE vt) noexcept
{
    return vt == VT_UI1 || vt == VT_UI2 || vt == VT_UI4 || vt == VT_UINT;
}

bool IsRadixType(VARTYPE vt) noexcept
{
    return IsSigned32(vt) || IsUnsigned32(vt) || vt == VT_I8 || vt == VT_UI8;
}

// Text to integer in a radix; var ends as VT_I4, VT_I8 or VT_UI8 from the
// parsed number even when the remainder check fails.
bool ParseRadix(unsigned short vt, VARIANT& var, int base)
{
    const wchar_t* text = Text(var.bstrVal);
    wchar_t* end = nullptr;
    VARIANT result;
    ::VariantInit(&result);
    if (IsSigned32(vt)) {
        result.vt = VT_I4;
        result.lVal = std::wcstol(text, &end, base);
    } else if (IsUnsigned32(vt)) {
        // The same 32 bits as VT_I4: above 2147483647 reads back negative.
        result.vt = VT_I4;
        result.lVal = static_cast<LONG>(std::wcstoul(text, &end, base));
    } else if (vt == VT_I8) {
        result.vt = VT_I8;
        result.llVal = _wcstoi64(text, &end, base);
    } else {
        result.vt = VT_UI8;
        result.ullVal = _wcstoui64(text, &end, base);
    }
    // "1Fh" is the usual way to write a hexadecimal number.
    const bool ok =
        *end == L'\0' || (base == 16 && (end[0] == L'h' || end[0] == L'H') && end[1] == L'\0');
    // end points into the old string: release it only now.
    ::VariantClear(&var);
    var = result;
    return ok;
}

// Integer to upper-case text in a radix.
bool FormatRadix(VARIANT& var, int base)
{
    wchar_t buffer[256] = {};
    switch (var.vt) {
    case VT_I1:
        _itow(static_cast<signed char>(var.cVal), buffer, base);
        break;
    case VT_I2:
        _itow(var.iVal, buffer, base);
        break;
    case VT_I4:
        _itow(var.lVal, buffer, base);
        break;
    case VT_INT:
        _itow(var.intVal, buffer, base);
        break;
    case VT_UI1:
        _ultow(var.bVal, buffer, base);
        break;
    case VT_UI2:
        _ultow(var.uiVal, buffer, base);
        break;
    case VT_UI4:
        _ultow(var.ulVal, buffer, base);
        break;
    case VT_UINT:
        _ultow(var.uintVal, buffer, base);
        break;
    case VT_I8:
        _i64tow(var.llVal, buffer, base);
        break;
    default:
        _ui64tow(var.ullVal, buffer, base);
        break;
    }
    _wcsupr(buffer);
    BSTR s = ::SysAllocString(buffer);
    if (!s)
        return false;
    var.vt = VT_BSTR; // an integer holds nothing to release
    var.bstrVal = s;
    return true;
}

} // namespace

int VariantCompare(const VARIANT& a, const VARIANT& b)
{
    // Types without an order compare equal whatever b holds.
    if (!IsOrdered(a.vt))
        return 0;
    if (a.vt == b.vt)
        return CompareSameType(a, b);
    VARIANT copy;
    ::VariantInit(&copy);
    CVariantClear clear(copy);
    if (FAILED(::VariantCopy(&copy, const_cast<VARIANT*>(&b))))
        return 0;
    if (!VariantChangeType(1033, a.vt, copy, 0))
        return 0;
    return CompareSameType(a, copy);
}

bool VariantChangeType(unsigned long lcid, unsigned short vt, VARIANT& var, int base)
{
    if (var.vt == vt)
        return true;
    // The C runtime's radix functions know 2 to 36 only.
    if (base != 0 && (base < 2 || base > 36))
        return false;
    if (base != 0 && var.vt == VT_BSTR && IsRadixType(vt))
        return ParseRadix(vt, var, base);
    if (base != 0 && vt == VT_BSTR && IsRadixType(var.vt))
        return FormatRadix(var, base);
    // True becomes the number 1, not the platform's -1.
    if (var.vt == VT_BOOL && var.boolVal != 0)
        var.boolVal = 1;
    return SUCCEEDED(::VariantChangeTypeEx(&var, &var, lcid, VARIANT_ALPHABOOL, vt));
}

double wtof(const wchar_t* text)
{
    double d = 0.0;
    if (!text || std::swscanf(text, L"%lf", &d) != 1)
        return 0.0;
    return d;
}

double wtof(const wchar_t* text, unsigned long lcid)
{
    VARIANT source;
    ::VariantInit(&source);
    CVariantClear clearSource(source);
    source.bstrVal = ::SysAllocString(Text(text));
    if (!source.bstrVal)
        return 0.0;
    source.vt = VT_BSTR;
    VARIANT number;
    ::VariantInit(&number);
    CVariantClear clearNumber(number);
    if (FAILED(::VariantChangeTypeEx(&number, &source, lcid, 0, VT_R8)))
        return 0.0;
    return number.dblVal;
}

int round(double x)
{
    const double y = x >= 0.0 ? x + 0.5 : x - 0.5;
    // Truncation keeps values in (-2147483649, 2147483648); the rest, and NaN,
    // give the value a failed conversion gives on this platform.
    if (!(y > -2147483649.0 && y < 2147483648.0))
        return INT_MIN;
    return static_cast<int>(y);
}

double Rad2Deg(double x)
{
    return (180.0 * x) / 3.141592653589793;
}

double Deg2Rad(double x)
{
    return (3.141592653589793 * x) / 180.0;
}

} // namespace tarn_kit
