// The DLL's entry points: process attach and detach, the class object of Tarnwick,
// and whether the COM runtime may unload us.
#include "framework/class_factory.h"
#include "framework/object.h"
#include "server/registration.h"
#include "store/error_reporting.h"

namespace {

framework::ObjectMapEntry g_objectMap[] = {
    {&CLSID_Tarnwick, &updateRegistry, &framework::ClassFactory::create,
     &framework::createInstance<CTarnwick>, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) {
        framework::module().init(g_objectMap, instance, &LIBID_TARNWICKLib);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        framework::module().term();
    }
    return TRUE;
}

STDAPI DllCanUnloadNow()
{
    return framework::module().lockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID rclsid, REFIID riid, LPVOID* ppv)
{
    return framework::module().getClassObject(rclsid, riid, ppv);
}
