#include "store/file_stream.h"

#include "store/dom.h"

#include <cstring>
#include <cwchar>
#include <memory>
#include <new>

using framework::ComPtr;

namespace file_stream {

namespace {

// The write end of a file as an IStream: the DOM serializes into it. The DOM hands
// over a few kilobytes at a time; they are gathered into large writes, since each
// write is a system call. A write that does not reach the file is remembered, so that
// a DOM which ignores the stream's answer cannot turn a short file into a success.
class WriteStream final : public IStream {
public:
    static const ULONG kBufferSize = 64 * 1024;

    WriteStream(HANDLE file, ChunkWriter writer, void* context) noexcept
        : m_file(file), m_writer(writer), m_context(context), m_buffer(new (std::nothrow) char[kBufferSize])
    {
    }
    WriteStream(const WriteStream&) = delete;
    WriteStream& operator=(const WriteStream&) = delete;

    bool ready() const noexcept { return m_buffer != nullptr; }

    // Writes what is still gathered; true when every byte reached the file.
    bool finish() noexcept { return drain(); }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (InlineIsEqualGUID(riid, IID_IUnknown) || InlineIsEqualGUID(riid, IID_ISequentialStream) ||
            InlineIsEqualGUID(riid, IID_IStream)) {
            *ppv = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

    STDMETHODIMP Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Write(const void* data, ULONG size, ULONG* written) override
    {
        if (written)
            *written = 0;
        if (!data && size)
            return STG_E_INVALIDPOINTER;
        // After one failure nothing more is written: the file is lost anyway.
        if (m_failed)
            return STG_E_WRITEFAULT;
        const char* bytes = static_cast<const char*>(data);
        for (ULONG left = size; left > 0;) {
            const ULONG room = kBufferSize - m_used;
            const ULONG taken = left < room ? left : room;
            std::memcpy(m_buffer.get() + m_used, bytes, taken);
            m_used += taken;
            bytes += taken;
            left -= taken;
            if (m_used == kBufferSize && !drain())
                return STG_E_WRITEFAULT;
        }
        if (written)
            *written = size;
        return S_OK;
    }
    STDMETHODIMP Seek(LARGE_INTEGER, DWORD, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return S_OK; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Stat(STATSTG*, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    ~WriteStream() = default;

    bool drain() noexcept
    {
        if (!m_failed && m_used > 0 && !m_writer(m_context, m_file, m_buffer.get(), m_used))
            m_failed = true;
        m_used = 0;
        return !m_failed;
    }

    LONG m_refs = 1;
    HANDLE m_file;
    ChunkWriter m_writer;
    void* m_context;
    std::unique_ptr<char[]> m_buffer;
    ULONG m_used = 0;
    bool m_failed = false;
};

// The new file until it takes the target's place: closed, and removed unless kept.
class TemporaryFile {
public:
    TemporaryFile() noexcept = default;
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile()
    {
        // Cleanup after a failure; the failure is what gets reported.
        close();
        if (m_name.get() && !m_kept)
            DeleteFileW(m_name.get());
    }

    // A new file named target followed by a suffix unique in this process; the
    // process id makes it unique among processes saving the same target.
    HRESULT create(const OLECHAR* target) noexcept
    {
        static LONG counter = 0;
        OLECHAR suffix[48];
        std::swprintf(suffix, 48, L".%lu-%ld.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                      static_cast<long>(InterlockedIncrement(&counter)));
        const size_t targetLength = std::wcslen(target);
        const size_t suffixLength = std::wcslen(suffix);
        FW_RETURN_IF_FAILED(m_name.assign(nullptr, static_cast<UINT>(targetLength + suffixLength)));
        std::wmemcpy(m_name.get(), target, targetLength);
        std::wmemcpy(m_name.get() + targetLength, suffix, suffixLength);
        m_handle = CreateFileW(m_name.get(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (m_handle == INVALID_HANDLE_VALUE) {
            // Not created, so there is nothing to remove.
            m_name = framework::Bstr();
            return E_FAIL;
        }
        return S_OK;
    }

    HANDLE handle() const noexcept { return m_handle; }
    const OLECHAR* name() const noexcept { return m_name.get(); }

    bool close() noexcept
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return true;
        const bool closed = CloseHandle(m_handle) != FALSE;
        m_handle = INVALID_HANDLE_VALUE;
        return closed;
    }

    void keep() noexcept { m_kept = true; }

private:
    framework::Bstr m_name;
    HANDLE m_handle = INVALID_HANDLE_VALUE;
    bool m_kept = false;
};

} // namespace

bool writeChunk(void*, HANDLE file, const void* data, ULONG size) noexcept
{
    DWORD written = 0;
    return WriteFile(file, data, size, &written, nullptr) && written == size;
}

HRESULT saveReplacing(IXMLDOMDocument* doc, const OLECHAR* target, ChunkWriter writer, void* context) noexcept
{
    TemporaryFile temporary;
    FW_RETURN_IF_FAILED(temporary.create(target));

    WriteStream* raw = new (std::nothrow) WriteStream(temporary.handle(), writer, context);
    if (!raw)
        return E_OUTOFMEMORY;
    ComPtr<WriteStream> stream;
    framework::adopt(stream, raw);
    if (!stream->ready())
        return E_OUTOFMEMORY;
    const HRESULT saved = dom::save(doc, stream.Get());
    if (saved == E_OUTOFMEMORY)
        return saved;
    if (FAILED(saved) || !stream->finish())
        return E_FAIL;
    if (!FlushFileBuffers(temporary.handle()) || !temporary.close())
        return E_FAIL;
    if (!MoveFileExW(temporary.name(), target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return E_FAIL;
    temporary.keep();
    return S_OK;
}

} // namespace file_stream
