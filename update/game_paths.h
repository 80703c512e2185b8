#pragma once
// Names of the update files in the game folder and on the update server, and
// the paths built from them.

#include <string>

extern const wchar_t kDataSourcesName[];   // "datasources.txt"
extern const wchar_t kServerIndexName[];   // "fileindex.dat"
extern const wchar_t kCachedIndexName[];   // "cachedindex.dat"
extern const wchar_t kPackageJournalName[];   // "downloading.dat"
extern const wchar_t kPackageSuffix[];     // ".zip", appended to a file's name
extern const wchar_t kFullPackageSuffix[]; // "_full.zip", after the product key word

// The game folder, a backslash when the folder is not empty, and the name.
std::wstring GamePath(const std::wstring& gameFolder, const std::wstring& name);

// The package that carries a file: its name with ".zip" appended.
std::wstring PackageName(const std::wstring& name);
// The name of the file a package carries: the package's name without ".zip".
std::wstring CarriedName(const std::wstring& packageName);
// The whole-game package of a product key word.
std::wstring FullPackageName(const std::wstring& productKeyWord);

// Where a file's package lies below the server directory: the name with
// every blank and "+" made "_" and "/" between folders.
std::wstring ServedName(const std::wstring& name);

// What the launcher asks the server for: the server directory, "/" when the
// directory is not empty, and the served name, folder by folder, with every
// byte of its UTF-8 that is not a letter, a digit or one of ' ( ) * - . _
// percent-encoded. The server then finds the file the publisher wrote,
// whatever its name holds, and both HTTP clients send the path as it is.
std::wstring RequestPath(const std::wstring& serverDirectory, const std::wstring& name);

// True when an index name stays below the game folder and names a plain file:
// not empty, not rooted (no leading separator, so no UNC or device prefix
// either), no drive letter or stream (no ":" anywhere), no control character,
// and no part between separators that is empty or made only of dots and
// blanks (Windows strips trailing dots and blanks, so ". ." and ".. " would
// climb like "..") or that Windows opens as a device (CON, PRN, AUX, NUL,
// COM1 to COM9, LPT1 to LPT9, in any letter case, also with an extension).
bool IsSafeEntryName(const std::wstring& name);
