// Script clients: every suite in tests/scripts (files named suite_*.js or suite_*.vbs)
// runs under the platform's script host against the registered DLL, as a script
// client would meet it. A suite prints "ok <check>" or "FAIL <check>: <why>" for each
// check, ends with the line "end of suite" and exits with its number of failures. The
// DLL is registered once for all suites and fully unregistered at the end, as other
// test programs share the prefix.
#include "support/tarnwick_test.h"

#include <cstdio>
#include <memory>
#include <vector>

namespace tarnwick_test {
namespace {

const wchar_t kScriptFolder[] = TARNWICK_SOURCE_DIR L"/tests/scripts";
const DWORD kScriptTimeoutMs = 120000;

std::vector<std::wstring> suiteScripts()
{
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found = {};
    const std::wstring pattern = windowsPath(kScriptFolder) + L"\\suite_*";
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        const std::wstring name = found.cFileName;
        const size_t dot = name.rfind(L'.');
        const std::wstring extension = dot == std::wstring::npos ? L"" : name.substr(dot);
        if (extension == L".js" || extension == L".vbs")
            names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

struct ScriptRun {
    DWORD exitCode = ~0u;
    std::string output;
};

void readAvailable(HANDLE pipe, std::string& output)
{
    DWORD available = 0;
    while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD read = 0;
        if (!ReadFile(pipe, buffer, sizeof(buffer), &read, nullptr) || read == 0)
            return;
        output.append(buffer, read);
    }
}

// Runs a Windows program with this process's environment, its standard output and
// error going into one pipe that is read while it runs.
ScriptRun runCaptured(std::wstring commandLine)
{
    ScriptRun run;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        ADD_FAILURE() << "cannot make a pipe, error " << GetLastError();
        return run;
    }
    const Handle reader(readEnd);
    Handle writer(writeEnd);
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info)) {
        ADD_FAILURE() << "cannot start " << narrow(commandLine) << ", error " << GetLastError();
        return run;
    }
    const Handle process(info.hProcess);
    const Handle thread(info.hThread);
    writer.reset();

    const DWORD started = GetTickCount();
    for (;;) {
        readAvailable(readEnd, run.output);
        if (WaitForSingleObject(process.get(), 20) == WAIT_OBJECT_0)
            break;
        if (GetTickCount() - started > kScriptTimeoutMs) {
            ADD_FAILURE() << narrow(commandLine) << " did not finish";
            TerminateProcess(process.get(), 1);
            WaitForSingleObject(process.get(), INFINITE);
            break;
        }
    }
    readAvailable(readEnd, run.output);
    EXPECT_TRUE(GetExitCodeProcess(process.get(), &run.exitCode));
    return run;
}

// The lines of the output that report a failed check.
std::string failedChecks(const std::string& output)
{
    std::string failed;
    size_t start = 0;
    while (start < output.size()) {
        size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        const std::string line = output.substr(start, end - start);
        if (line.compare(0, 5, "FAIL ") == 0)
            failed += line + "\n";
        start = end + 1;
    }
    return failed;
}

std::string testNameOf(const ::testing::TestParamInfo<std::wstring>& info)
{
    std::string name;
    for (wchar_t c : info.param)
        name += iswalnum(c) ? static_cast<char>(c) : '_';
    return name;
}

class ScriptSuite : public ::testing::TestWithParam<std::wstring> {
protected:
    static void SetUpTestSuite()
    {
        putBuildFolderFirstOnPath();
        ASSERT_EQ(S_OK, Dll::registerServer());
    }

    // Registration is counted: unregister until the last count is gone, whatever other
    // registrations the prefix held.
    static void TearDownTestSuite()
    {
        HRESULT hr = S_FALSE;
        for (int attempt = 0; attempt < 64 && hr == S_FALSE; ++attempt)
            hr = Dll::unregisterServer();
        EXPECT_EQ(S_OK, hr) << "the registration is not fully undone";
        EXPECT_EQ(S_OK, Dll::canUnloadNow());
    }
};

TEST_P(ScriptSuite, PassesEveryCheck)
{
    const std::wstring script = windowsPath(kScriptFolder) + L"\\" + GetParam();
    // The extension picks the engine: Wine's script host refuses the //E: switch.
    const ScriptRun run = runCaptured(L"cscript.exe //nologo \"" + script + L"\" \"" + tempDir() + L"\"");

    EXPECT_EQ("", failedChecks(run.output));
    EXPECT_NE(std::string::npos, run.output.find("end of suite")) << "the suite stopped early";
    EXPECT_EQ(0u, run.exitCode) << "the exit code is the number of failed checks";
    if (HasFailure())
        std::printf("output of %s:\n%s\n", narrow(GetParam()).c_str(), run.output.c_str());
}

INSTANTIATE_TEST_SUITE_P(Scripts, ScriptSuite, ::testing::ValuesIn(suiteScripts()), testNameOf);

TEST(ScriptSuites, EachEngineHasASuite)
{
    const std::vector<std::wstring> scripts = suiteScripts();
    const auto hasExtension = [&](const wchar_t* extension) {
        return std::any_of(scripts.begin(), scripts.end(), [&](const std::wstring& name) {
            return name.size() > wcslen(extension) && name.compare(name.size() - wcslen(extension), std::wstring::npos,
                                                                   extension) == 0;
        });
    };
    EXPECT_TRUE(hasExtension(L".js")) << "no JScript suite in " << narrow(kScriptFolder);
    EXPECT_TRUE(hasExtension(L".vbs")) << "no VBScript suite in " << narrow(kScriptFolder);
}

} // namespace
} // namespace tarnwick_test
