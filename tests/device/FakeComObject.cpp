#include "tests/device/FakeComObject.h"

void FakeComRegistry::Adopt(std::unique_ptr<Entry> entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.push_back(std::move(entry));
}

ULONG FakeComRegistry::AddRef(Entry& entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (entry.references <= 0)
        ++m_misuses;
    return static_cast<ULONG>(++entry.references);
}

ULONG FakeComRegistry::Release(Entry& entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (entry.references <= 0)
    {
        ++m_misuses;
        return 0;
    }
    return static_cast<ULONG>(--entry.references);
}

void FakeComRegistry::NoteCall(const Entry& entry)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (entry.references <= 0)
        ++m_misuses;
}

long FakeComRegistry::OutstandingReferences() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    long total = 0;
    for (const auto& entry : m_entries)
        total += entry->references > 0 ? entry->references : 0;
    return total;
}

long FakeComRegistry::Misuses() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_misuses;
}
