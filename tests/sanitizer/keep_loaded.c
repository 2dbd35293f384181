// Preloaded into sanitizer runs: dlclose unloads nothing, so leaks in libraries keep their names.
//
// SDL, Mesa and the audio and image libraries load their back ends with
// dlopen and close them again at shutdown. An unloaded library takes its
// global variables with it: memory that it still owned then looks leaked, and
// the leak checker can name neither the library nor its functions, so no
// suppression can match it. With every library kept mapped until the process
// ends, what a library still owns stays reachable through its globals, and a
// real leak is reported with the library's name.
#include <stddef.h>

// Leaves the library loaded; the handle stays valid, as it does for a library
// that more than one caller has opened.
int dlclose(void* handle)
{
    (void)handle;
    return 0;
}
