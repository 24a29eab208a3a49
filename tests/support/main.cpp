// Every test program runs its tests on one single-threaded apartment, as script hosts do.
#include <gtest/gtest.h>
#include <objbase.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 2;
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    return result;
}
