#include "tests/device/FakeComObject.h"

void FakeComRegistry::Adopt(std::unique_ptr<Entry> entry)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Entries.push_back(std::move(entry));
}

ULONG FakeComRegistry::AddRef(Entry& entry)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (entry.references <= 0)
        ++m_iMisuses;
    return static_cast<ULONG>(++entry.references);
}

ULONG FakeComRegistry::Release(Entry& entry)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (entry.references <= 0)
    {
        ++m_iMisuses;
        return 0;
    }
    return static_cast<ULONG>(--entry.references);
}

void FakeComRegistry::NoteCall(const Entry& entry)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    if (entry.references <= 0)
        ++m_iMisuses;
}

long FakeComRegistry::OutstandingReferences() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    long total = 0;
    for (const auto& entry : m_Entries)
        total += entry->references > 0 ? entry->references : 0;
    return total;
}

long FakeComRegistry::Misuses() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_iMisuses;
}
