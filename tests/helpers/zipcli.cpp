// Command-line front end of the gzip codec, for tests and measurements.
//   zipcli c SOURCE TARGET [LEVEL]   compress SOURCE into the gzip file TARGET
//   zipcli d SOURCE TARGET           restore SOURCE (gzip or ZIP) into TARGET
// A codec failure prints the exception text and exits with 1.

#include "support/gzip/zip_codec.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int Usage()
{
    std::fprintf(stderr, "usage: zipcli c SOURCE TARGET [LEVEL] | zipcli d SOURCE TARGET\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4 || std::strlen(argv[1]) != 1)
        return Usage();
    try {
        switch (argv[1][0]) {
        case 'c': {
            int level = argc > 4 ? std::atoi(argv[4]) : kDefaultZipLevel;
            CZip(argv[2], level).ToFile(argv[3]);
            break;
        }
        case 'd':
            CUnzip(argv[2]).ToFile(argv[3]);
            break;
        default:
            return Usage();
        }
    } catch (const CZipException& e) {
        std::fprintf(stderr, "%s\n", e.Text());
        return 1;
    }
    return 0;
}
