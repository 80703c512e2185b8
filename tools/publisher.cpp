// The publisher: turns a game folder into the tree an update server serves
// to the launcher. Run with --help for its usage.

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "tools/publisher/console.h"
#include "tools/publisher/pack_jobs.h"
#include "tools/publisher/publish_error.h"
#include "tools/publisher/publish_options.h"
#include "tools/publisher/server_tree.h"
#include "services/string_ids.h"
#include "services/string_table.h"

namespace {

const int kExitPublished = 0;
const int kExitFailed = 1;
const int kExitBadArguments = 2;

std::vector<std::wstring> Arguments()
{
    int argc = 0;
    LPWSTR* argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    std::vector<std::wstring> args;
    if (argv) {
        args.assign(argv + 1, argv + argc);
        ::LocalFree(argv);
    }
    return args;
}

void PrintFile(const PublishedFile& file)
{
    PrintLine(L"  " + file.name + L"  " + std::to_wstring(file.size) + L" -> " + std::to_wstring(file.packageSize));
}

void PrintReport(const PublishReport& report, const PublishOptions& options)
{
    uint64_t bytes = 0, packageBytes = 0;
    for (const PublishedFile& file : report.files) {
        bytes += file.size;
        packageBytes += file.packageSize;
    }
    for (const std::wstring& name : report.skipped)
        PrintLine(L"Left out (a launcher file): " + name);
    PrintLine(L"Published " + std::to_wstring(report.files.size()) + L" files, " + std::to_wstring(bytes) +
              L" bytes, in packages of " + std::to_wstring(packageBytes) + L" bytes.");
    PrintLine(L"Index package: " + std::to_wstring(report.indexPackageSize) + L" bytes; whole-game package: " +
              std::to_wstring(report.fullPackageSize) + L" bytes.");
    if (options.mirrors.empty()) {
        PrintLine(L"Update servers: none given; launchers use their built-in update host.");
    } else {
        PrintLine(L"Update servers:");
        for (const std::wstring& mirror : options.mirrors)
            PrintLine(L"  " + mirror);
    }
    PrintLine(L"Packed " + std::to_wstring(report.packedFiles) + L" files, kept " + std::to_wstring(report.keptFiles) +
              L" packages unchanged; compressed " + std::to_wstring(report.compressedSegments) +
              L" segments, reused " + std::to_wstring(report.reusedSegments) + L".");
    if (report.retiredPackages != 0)
        PrintLine(L"Packages of removed files served for one more generation: " +
                  std::to_wstring(report.retiredPackages) + L".");
    PrintLine(std::wstring(report.replacedOldTree ? L"Replaced the tree " : L"Wrote the tree ") + report.treeFolder +
              L" (now a link to " + report.generationFolder + L")");
}

} // namespace

int main()
{
    // The server directory is the launcher's own: its string-table entry
    // in the language the launcher shows.
    const std::wstring serverDirectory = LoadLangString(IDS_SERVER_DIRECTORY);

    PublishOptions options;
    std::wstring error;
    if (!ParseOptions(Arguments(), options, error)) {
        PrintErrorLine(L"publisher: " + error);
        PrintErrorLine(L"Run publisher.exe --help for its usage.");
        return kExitBadArguments;
    }
    if (!options.workerList.empty())
        return RunPackWorker(options.workerList);
    if (options.help) {
        PrintLine(UsageText(serverDirectory));
        return kExitPublished;
    }

    try {
        PrintLine(L"Publishing " + options.gameFolder + L" as " + serverDirectory + L"...");
        PublishReport report = PublishServerTree(options, serverDirectory, PrintFile);
        PrintReport(report, options);
    } catch (const PublishError& e) {
        PrintErrorLine(L"publisher: " + e.Text());
        PrintErrorLine(L"Nothing was published; an earlier tree stays as it was.");
        return kExitFailed;
    } catch (const std::exception& e) {
        PrintErrorLine(L"publisher: " + std::wstring(e.what(), e.what() + std::char_traits<char>::length(e.what())));
        PrintErrorLine(L"Nothing was published; an earlier tree stays as it was.");
        return kExitFailed;
    }
    return kExitPublished;
}
