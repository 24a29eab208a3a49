#include "framework/error_info.h"

#include <utility>

namespace framework {

namespace {

struct FailureNote {
    HRESULT hr = S_OK;
    std::wstring description;
};

// Calls on an apartment-bound object stay on one thread; each thread notes its own.
thread_local FailureNote t_note;

} // namespace

void setErrorInfo(REFIID iid, const wchar_t* source, const wchar_t* description) noexcept
{
    ComPtr<ICreateErrorInfo> create;
    if (FAILED(CreateErrorInfo(&create)))
        return;
    // A description that cannot be stored leaves the error object without it; the
    // HRESULT still tells the caller what happened.
    static_cast<void>(create->SetGUID(iid));
    static_cast<void>(create->SetSource(const_cast<LPOLESTR>(source)));
    static_cast<void>(create->SetDescription(const_cast<LPOLESTR>(description)));
    ComPtr<IErrorInfo> info;
    if (SUCCEEDED(create.As(&info)))
        static_cast<void>(SetErrorInfo(0, info.Get()));
}

void clearErrorInfo() noexcept
{
    static_cast<void>(SetErrorInfo(0, nullptr));
}

void noteFailure(HRESULT hr, std::wstring description) noexcept
{
    t_note.hr = hr;
    t_note.description = std::move(description);
}

std::wstring takeFailureNote(HRESULT hr) noexcept
{
    FailureNote note = std::move(t_note);
    t_note = FailureNote();
    return note.hr == hr ? std::move(note.description) : std::wstring();
}

void discardFailureNote() noexcept
{
    if (t_note.hr != S_OK)
        t_note = FailureNote();
}

} // namespace framework
