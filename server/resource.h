// Resource identifiers of Tarnwick.dll, shared by the resource script, the code that
// reads the resources and the tests.
#pragma once

// The registry script that registration runs through the system registrar.
#define IDR_TARNWICK_REGISTRY 236
// The module's name; no code reads it.
#define IDS_TARNWICK_NAME 100
