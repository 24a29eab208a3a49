// Writing a file so that it is either the whole new content or left as it was: the
// bytes go to a new file beside the target, every write is checked, the new file is
// flushed and then put in the target's place in one step.
#pragma once

#include "framework/com.h"

#include "store/dom_types.h"

namespace file_stream {

// Writes size bytes of data to file; true only when all of them were written.
// context is the one given to saveReplacing.
using ChunkWriter = bool (*)(void* context, HANDLE file, const void* data, ULONG size);

// The writer of real saves: WriteFile, checked.
bool writeChunk(void* context, HANDLE file, const void* data, ULONG size) noexcept;

// Serializes doc into a new file in target's folder through writer, then replaces
// target (a full path) with it. On any failure target is untouched, the new file is
// removed and the answer is E_FAIL (E_OUTOFMEMORY when memory ran out).
HRESULT saveReplacing(IXMLDOMDocument* doc, const OLECHAR* target, ChunkWriter writer = writeChunk,
                      void* context = nullptr) noexcept;

} // namespace file_stream
