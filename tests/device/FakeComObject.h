#pragma once

#include <windows.h>
#include <unknwn.h>

#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// Keeps every test-double COM object alive until the end of the test and counts references,
// so that a test can check that the code under test released each reference exactly once:
// an over-release or a call on a released object is recorded as a misuse instead of crashing.
class FakeComRegistry
{
public:
    struct Entry
    {
        virtual ~Entry() = default;
        long references = 1;
    };

    void Adopt(std::unique_ptr<Entry> entry);
    ULONG AddRef(Entry& entry);
    ULONG Release(Entry& entry);
    void NoteCall(const Entry& entry);

    long OutstandingReferences() const;
    long Misuses() const;

private:
    mutable std::mutex m_Mutex;
    std::vector<std::unique_ptr<Entry>> m_Entries;
    long m_iMisuses = 0;
};

// IUnknown for a test double implementing interface I; one reference at creation.
template <class I>
class FakeComObject : public I, public FakeComRegistry::Entry
{
public:
    explicit FakeComObject(FakeComRegistry& registry) : m_Registry(registry) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override
    {
        if (out == nullptr)
            return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(I))
        {
            *out = static_cast<I*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return m_Registry.AddRef(*this); }
    ULONG STDMETHODCALLTYPE Release() override { return m_Registry.Release(*this); }

protected:
    // Every interface method calls this first, so that use after the last Release is seen.
    void NoteCall() const { m_Registry.NoteCall(*this); }

    FakeComRegistry& m_Registry;
};

// Creates a double owned by the registry; the caller receives its first reference.
template <class T, class... Args>
T* CreateFakeComObject(FakeComRegistry& registry, Args&&... args)
{
    auto object = std::make_unique<T>(registry, std::forward<Args>(args)...);
    T* raw = object.get();
    registry.Adopt(std::move(object));
    return raw;
}
