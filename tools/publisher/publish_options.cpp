#include "tools/publisher/publish_options.h"

#include <cwchar>

namespace {

// A line the launcher reads back as one server: printable ASCII without
// blanks (it trims nothing), not a comment, with a host before any "/".
bool CheckMirror(const std::wstring& mirror, std::wstring& error)
{
    if (mirror.empty() || mirror[0] == L'/' || mirror[0] == L'#') {
        error = L"--mirror needs HOST or HOST/DIRECTORY, not \"" + mirror + L"\"";
        return false;
    }
    for (wchar_t c : mirror) {
        if (c <= L' ' || c > L'~') {
            error = L"--mirror \"" + mirror + L"\" holds a blank or a character outside printable ASCII";
            return false;
        }
    }
    return true;
}

bool TakeValue(const std::vector<std::wstring>& args, size_t& i, std::wstring& value, std::wstring& error)
{
    if (i + 1 == args.size()) {
        error = args[i] + L" needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

bool ParseJobs(const std::wstring& text, unsigned& jobs, std::wstring& error)
{
    const unsigned kMaxJobs = 64;
    wchar_t* end = nullptr;
    unsigned long value = std::wcstoul(text.c_str(), &end, 10);
    if (text.empty() || *end != L'\0' || value < 1 || value > kMaxJobs) {
        error = L"--jobs needs a number from 1 to " + std::to_wstring(kMaxJobs) + L", not \"" + text + L"\"";
        return false;
    }
    jobs = static_cast<unsigned>(value);
    return true;
}

bool IsAbortPoint(const std::wstring& point)
{
    return point == L"packing" || point == L"switch" || point == L"cleanup";
}

} // namespace

bool ParseOptions(const std::vector<std::wstring>& args, PublishOptions& options, std::wstring& error)
{
    std::vector<std::wstring> folders;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::wstring& arg = args[i];
        if (arg == L"-h" || arg == L"--help" || arg == L"/?") {
            options.help = true;
            return true;
        }
        std::wstring value;
        if (arg == L"--mirror") {
            if (!TakeValue(args, i, value, error) || !CheckMirror(value, error))
                return false;
            options.mirrors.push_back(value);
        } else if (arg == L"--jobs") {
            if (!TakeValue(args, i, value, error) || !ParseJobs(value, options.jobs, error))
                return false;
        } else if (arg == L"--abort-at") {
            if (!TakeValue(args, i, options.abortAt, error))
                return false;
            if (!IsAbortPoint(options.abortAt)) {
                error = L"--abort-at takes packing, switch or cleanup";
                return false;
            }
        } else if (arg == L"--pack-worker") {
            return TakeValue(args, i, options.workerList, error);
        } else if (arg.size() > 1 && arg[0] == L'-') {
            error = L"unknown option " + arg;
            return false;
        } else {
            folders.push_back(arg);
        }
    }
    if (folders.size() != 2) {
        error = L"expected GAME_FOLDER and OUTPUT_FOLDER";
        return false;
    }
    options.gameFolder = folders[0];
    options.outputFolder = folders[1];
    return true;
}

std::wstring UsageText(const std::wstring& serverDirectory)
{
    const std::wstring& d = serverDirectory;
    return L"Usage: publisher.exe [--mirror HOST[/DIRECTORY]]... [--jobs N] GAME_FOLDER OUTPUT_FOLDER\r\n"
           L"\r\n"
           L"Turns a game folder into the tree an update server serves to the Tarnhold\r\n"
           L"launcher, in OUTPUT_FOLDER\\" + d + L" (the launcher's server directory):\r\n"
           L"\r\n"
           L"  datasources.txt     the update servers, one --mirror per line\r\n"
           L"  fileindex.dat.zip   the file index: time, size, package size and MD5 of\r\n"
           L"                      every game file\r\n"
           L"  <file>.zip          one gzip package per game file, at the path the launcher\r\n"
           L"                      asks for (blanks and \"+\" in names become \"_\", folders\r\n"
           L"                      become subfolders)\r\n"
           L"  " + d + L"_full.zip  the whole game in one package, fetched when much is missing\r\n"
           L"\r\n"
           L"Serve OUTPUT_FOLDER as the web root of every update server (plain HTTP, port\r\n"
           L"80), following symbolic links. A mirror given as HOST/DIRECTORY is asked for\r\n"
           L"DIRECTORY/... instead of " + d + L"/...: serve the same tree under that name\r\n"
           L"there. Without --mirror, datasources.txt is empty and launchers use their\r\n"
           L"built-in update host.\r\n"
           L"\r\n"
           L"" + d + L" is a symbolic link to a generation folder in " + d + L".generations;\r\n"
           L"each run builds the next generation beside the live one and switches the\r\n"
           L"link in one rename, so the server never shows a half-built tree. Packages of\r\n"
           L"files the run removed stay served for one more generation. A file whose\r\n"
           L"size, time and MD5 equal its entry in the live index keeps its package; the\r\n"
           L"others are compressed once into " + d + L".segments, from which the\r\n"
           L"whole-game package is joined. One run at a time: " + d + L".lock names the\r\n"
           L"run holding it. A run that was killed is repaired by the next one. The\r\n"
           L"publisher needs Wine on a Unix host for the link. Launcher files at the top of\r\n"
           L"the game folder (datasources.txt, fileindex.dat, fileindex.dat.zip,\r\n"
           L"cachedindex.dat, " + d + L"_full.zip) are not published. Game files, all\r\n"
           L"packages together and the whole-game package must stay below 4 GiB, and\r\n"
           L"names must not hold \"#\", \"?\" or \"%\".\r\n"
           L"\r\n"
           L"Options:\r\n"
           L"  --mirror HOST[/DIRECTORY]  add an update server to datasources.txt\r\n"
           L"                             (repeatable, kept in order)\r\n"
           L"  --jobs N                   compress on N processes (default: one per\r\n"
           L"                             processor); the output is the same for any N\r\n"
           L"  -h, --help                 show this text\r\n"
           L"\r\n"
           L"Exit status: 0 published, 1 publishing failed or another run holds the lock,\r\n"
           L"2 bad arguments.";
}
