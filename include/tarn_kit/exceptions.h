// Exceptions.
//
// Classes in this file:
//   CSmartPtrBase, CSmartPtr  - reference-counted owner of a cloned exception
//   CStdException             - abstract root of every exception the library throws
//   CStdException::CExInfo    - value snapshot of an exception's six facts
//   CWinException             - a failed Win32 call and its error code
//   CCommException            - an error reply of a connected device
#pragma once

#include "config.h"
#include "ustring.h"

#include <utility>

namespace tarn_kit {

// Shared owner block of a CSmartPtr; the count changes only by interlocked operations.
template <class T>
class CSmartPtrBase
{
public:
    // A copy of the bare block pointer would be released twice; CSmartPtr counts its copies.
    CSmartPtrBase(const CSmartPtrBase&) = delete;
    CSmartPtrBase& operator=(const CSmartPtrBase&) = delete;
    virtual ~CSmartPtrBase() { Release(); }

protected:
    struct CBlock
    {
        T* m_p;
        volatile LONG m_nRefs;
    };

    CSmartPtrBase() noexcept : m_pBlock(nullptr) {}

    void Release() noexcept
    {
        CBlock* pBlock = m_pBlock;
        m_pBlock = nullptr;
        if (pBlock && ::InterlockedDecrement(&pBlock->m_nRefs) == 0) {
            T* p = pBlock->m_p;
            pBlock->m_p = nullptr;
            delete pBlock;
            delete p;
        }
    }

    CBlock* m_pBlock;
};

// Joint owner of one heap object; the last owner deletes it.
template <class T>
class CSmartPtr : public CSmartPtrBase<T>
{
    typedef typename CSmartPtrBase<T>::CBlock CBlock;

public:
    // Construction
    CSmartPtr() noexcept {}
    /// Takes ownership of p (deleted here if the block cannot be allocated).
    explicit CSmartPtr(T* p)
    {
        if (!p)
            return;
        try {
            this->m_pBlock = new CBlock{p, 1};
        } catch (...) {
            delete p;
            throw;
        }
    }
    CSmartPtr(const CSmartPtr& other) noexcept
    {
        this->m_pBlock = other.m_pBlock;
        if (this->m_pBlock)
            ::InterlockedIncrement(&this->m_pBlock->m_nRefs);
    }
    CSmartPtr(CSmartPtr&& other) noexcept { std::swap(this->m_pBlock, other.m_pBlock); }
    ~CSmartPtr() override { this->Release(); }

    CSmartPtr& operator=(CSmartPtr other) noexcept
    {
        std::swap(this->m_pBlock, other.m_pBlock);
        return *this;
    }

    // Attributes
    T* get() const noexcept { return this->m_pBlock ? this->m_pBlock->m_p : nullptr; }
    T& operator*() const noexcept { return *get(); }
    T* operator->() const noexcept { return get(); }
    explicit operator bool() const noexcept { return get() != nullptr; }
    /// Number of pointers sharing the object; 0 when empty.
    long use_count() const noexcept { return this->m_pBlock ? this->m_pBlock->m_nRefs : 0; }

    void reset() noexcept { this->Release(); }
};

// Abstract root of the library's exceptions: where it was raised and three texts.
class TARNKIT_API CStdException
{
public:
    // Value snapshot of an exception's position and texts.
    class TARNKIT_API CExInfo
    {
    public:
        CExInfo();
        explicit CExInfo(const CStdException& e);

        void Clear();

        unsigned int GetLine() const noexcept { return m_nLine; }
        ustring GetFileName() const { return m_strFileName; }
        ustring GetFunction() const { return m_strFunction; }
        ustring GetSource() const { return m_strSource; }
        ustring GetErrorMessage() const { return m_strErrorMessage; }
        ustring GetErrorMessageUI() const { return m_strErrorMessageUI; }

    private:
        unsigned int m_nLine;
        ustring m_strFileName;
        ustring m_strFunction;
        ustring m_strSource;
        ustring m_strErrorMessage;
        ustring m_strErrorMessageUI;
    };

    // Construction
    CStdException(unsigned int nLine = 0, const wchar_t* szFile = nullptr,
                  const wchar_t* szFunction = nullptr);
    CStdException(const CStdException&) = default;
    CStdException& operator=(const CStdException&) = default;
    virtual ~CStdException();

    // Polymorphic copy and rethrow
    /// Heap copy of the most-derived object.
    virtual CSmartPtr<CStdException> Clone() const = 0;
    /// Throws a copy typed as the most-derived class.
    virtual void Throw() const = 0;

    // Texts; each returns whether it produced the text
    virtual bool GetSource(ustring& s) const = 0;
    virtual bool GetErrorMessage(ustring& s) const = 0;
    virtual bool GetErrorMessageUI(ustring& s) const;

    // Reporting to the user
    /// Shows the library's message box with the translated user text, the application
    /// name as caption and MessageBox-style buttons and icon; returns the pressed
    /// button's id (IDOK ... IDNO).
    virtual int ReportError(HWND hParent, unsigned int type) const;
    /// The same from a snapshot, after the exception object is gone.
    static int ReportError(const CExInfo& info, HWND hParent, unsigned int type);

    // Attributes
    unsigned int GetLine() const noexcept { return m_nLine; }
    ustring GetFileName() const { return m_strFileName; }
    ustring GetFunction() const { return m_strFunction; }

    /// Caption of error reports; null restores the default, the executable's base name.
    static void SetAppName(const wchar_t* szName);
    static ustring GetAppName();

private:
    unsigned int m_nLine;
    ustring m_strFileName;
    ustring m_strFunction;

    static ustring m_strAppName;
};

// A failed Win32 call: the error code and the system's text for it.
class TARNKIT_API CWinException : public CStdException
{
public:
    CWinException(unsigned int nLine = 0, const wchar_t* szFile = nullptr,
                  const wchar_t* szFunction = nullptr, DWORD dwErrorCode = 0);
    CWinException(const CWinException&) = default;
    CWinException& operator=(const CWinException&) = default;
    ~CWinException() override;

    CSmartPtr<CStdException> Clone() const override;
    void Throw() const override;
    /// "Win32" from the library's string table.
    bool GetSource(ustring& s) const override;
    /// The system's text for the code, else the entry of "Win32Errors.txt" beside the
    /// library; false with "Unknown error: ..." when neither has one.
    bool GetErrorMessage(ustring& s) const override;

    DWORD GetErrorCode() const noexcept { return m_dwErrorCode; }

private:
    DWORD m_dwErrorCode;
};

// An error that a device (a receiver taking text commands) reports in answer to
// a command, such as "{2,,wrong command}", with a readable text for the user.
class TARNKIT_API CCommException : public CStdException
{
public:
    /// One known reply and its text for the user.
    struct INT2UI
    {
        const wchar_t* szInternal;
        const wchar_t* szUI;
    };

    CCommException(unsigned int nLine = 0, const wchar_t* szFile = nullptr,
                   const wchar_t* szFunction = nullptr, const wchar_t* szErrorMessage = nullptr,
                   const wchar_t* szSource = nullptr);
    CCommException(const CCommException&) = default;
    CCommException& operator=(const CCommException&) = default;
    ~CCommException() override;

    CSmartPtr<CStdException> Clone() const override;
    void Throw() const override;
    /// The source given to the constructor, such as "Receiver".
    bool GetSource(ustring& s) const override;
    /// The device's reply as it came.
    bool GetErrorMessage(ustring& s) const override;
    /// The user text of a known reply ("Value out of range"); other replies unchanged.
    bool GetErrorMessageUI(ustring& s) const override;

private:
    ustring m_strErrorMessage;
    ustring m_strSource;

    static const INT2UI m_aINT2UI[35];
};

} // namespace tarn_kit
