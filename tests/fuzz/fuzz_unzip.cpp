// Arbitrary bytes given to CUnzip must end in output plus success or in
// CZipException with one of the codec's texts; the sanitizers watch for
// everything else.

#include "fuzz_files.h"
#include "support/gzip/zip_codec.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MemoryFile input("unzip-input");
    static MemoryFile output("unzip-output");
    input.Assign(data, size);
    output.Clear();
    try {
        // Both ways of naming the target, so both close paths run.
        if (size % 2)
            CUnzip(input.Name()).ToFile(output.Name());
        else
            CUnzip(input.Name()).ToDescriptor(output.Descriptor());
    } catch (const CZipException& e) {
        if (!IsCodecFailureText(e.Text())) {
            std::fprintf(stderr, "unexpected failure text: %s\n", e.Text());
            std::abort();
        }
    }
    output.Clear();
    return 0;
}
