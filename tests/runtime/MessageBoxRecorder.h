#pragma once

#include "runtime/MessageBoxSeam.h"

#include <string>

// Records the message boxes shown while it lives instead of showing them: how many, and the last.
class MessageBoxRecorder
{
public:
    MessageBoxRecorder() : m_Previous(SetMessageBoxHook(&Record)) { iCount = 0; }
    ~MessageBoxRecorder() { SetMessageBoxHook(m_Previous); }
    MessageBoxRecorder(const MessageBoxRecorder&) = delete;
    MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

    static inline int iCount = 0;
    static inline HWND hOwner = nullptr;
    static inline std::wstring Text;
    static inline std::wstring Caption;
    static inline UINT uiType = 0;

private:
    static int Record(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
    {
        ++iCount;
        hOwner = owner;
        Text = text != nullptr ? text : L"";
        Caption = caption != nullptr ? caption : L"";
        uiType = type;
        return IDOK;
    }

    MessageBoxHook m_Previous;
};
