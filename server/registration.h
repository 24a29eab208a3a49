// Registration of the class and its type library, counted so that k registrations
// take k unregistrations to remove the entries.
#pragma once

#include <windows.h>

// The class's registration routine in the object map: runs the registry script and
// keeps the class's registration count.
HRESULT updateRegistry(BOOL registering);
