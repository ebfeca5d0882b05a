#pragma once

// A re-entrant lock: a Windows critical section on Windows, a recursive mutex elsewhere.
// Locking goes through a pointer that is set only while the lock is live, so a lock that
// was torn down (or never set up) silently does nothing.
class CLock
{
public:
    CLock();
    ~CLock();
    CLock(const CLock&) = delete;
    CLock& operator=(const CLock&) = delete;

    void Enter();
    void Leave();
    bool IsLive() const { return m_pSection != nullptr; }

    // Tears the lock down before destruction; harmless when repeated.
    void Destroy();

private:
    // Pointer alignment suffices for either native lock, and adds no tail padding (which
    // MSVC would report as C4324).
    alignas(void*) unsigned char m_Storage[64];
    void* m_pSection;
};
