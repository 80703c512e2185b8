#include "tools/publisher/publish_options.h"

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
        if (arg == L"--mirror") {
            if (i + 1 == args.size()) {
                error = L"--mirror needs a value";
                return false;
            }
            if (!CheckMirror(args[++i], error))
                return false;
            options.mirrors.push_back(args[i]);
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
    return L"Usage: publisher.exe [--mirror HOST[/DIRECTORY]]... GAME_FOLDER OUTPUT_FOLDER\r\n"
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
           L"80). A mirror given as HOST/DIRECTORY is asked for DIRECTORY/... instead of\r\n"
           L"" + d + L"/...: serve the same tree under that name there. Without --mirror,\r\n"
           L"datasources.txt is empty and launchers use their built-in update host.\r\n"
           L"\r\n"
           L"The new tree is built beside the old one (" + d + L".publishing) and takes its\r\n"
           L"place only when complete; a failed run leaves the old tree as it was. While it\r\n"
           L"runs, the output folder needs room for the packages and for one uncompressed\r\n"
           L"copy of the game. Launcher files at the top of the game folder\r\n"
           L"(datasources.txt, fileindex.dat, fileindex.dat.zip, cachedindex.dat,\r\n"
           L"" + d + L"_full.zip) are not published. Game files must be smaller than\r\n"
           L"4 GiB, and their names must not hold \"#\", \"?\" or \"%\".\r\n"
           L"\r\n"
           L"Options:\r\n"
           L"  --mirror HOST[/DIRECTORY]  add an update server to datasources.txt\r\n"
           L"                             (repeatable, kept in order)\r\n"
           L"  -h, --help                 show this text\r\n"
           L"\r\n"
           L"Exit status: 0 published, 1 publishing failed, 2 bad arguments.";
}
