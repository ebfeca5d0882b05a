#pragma once

#include "runtime/MessageBoxSeam.h"

#include <string>

// Records the message boxes shown while it lives instead of showing them.
class MessageBoxRecorder
{
public:
    MessageBoxRecorder() : m_Previous(SetMessageBoxHook(&Record)) { Boxes() = 0; }
    ~MessageBoxRecorder() { SetMessageBoxHook(m_Previous); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    int Count() const { return Boxes(); }
    std::wstring Text() const { return LastText(); }
    std::wstring Caption() const { return LastCaption(); }
    UINT Type() const { return LastType(); }
    HWND Owner() const { return LastOwner(); }

private:
    static int Record(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
    {
        ++Boxes();
        LastOwner() = owner;
        LastText() = text != nullptr ? text : L"";
        LastCaption() = caption != nullptr ? caption : L"";
        LastType() = type;
        return IDOK;
    }
    static int& Boxes()
    {
        static int count = 0;
        return count;
    }
    static std::wstring& LastText()
    {
        static std::wstring text;
        return text;
    }
    static std::wstring& LastCaption()
    {
        static std::wstring caption;
        return caption;
    }
    static UINT& LastType()
    {
        static UINT type = 0;
        return type;
    }
    static HWND& LastOwner()
    {
        static HWND owner = nullptr;
        return owner;
    }

    MessageBoxHook m_Previous;
};
