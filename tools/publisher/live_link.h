#pragma once
// The served directory is a symbolic link to the folder of the live
// generation. A new link is made beside it and renamed over it: the rename
// is atomic, so a web server that follows the link always finds one complete
// tree. Wine can neither make nor rename such a link through Win32, so the
// publisher asks the host's kernel directly; it needs Wine on a Unix host.

#include <string>

// True when path is a symbolic link (to anything, or dangling).
bool IsLink(const std::wstring& path);
// The link's target as stored, or empty when path is no link.
std::wstring ReadLink(const std::wstring& path);
// Creates a link at path to target (relative to the link's folder). Throws
// PublishError.
void MakeLink(const std::wstring& path, const std::wstring& target);
// Renames a link over another path in one step. Throws PublishError.
void RenameOver(const std::wstring& from, const std::wstring& to);
// Deletes the link itself; true when it is gone.
bool RemoveLink(const std::wstring& path);
