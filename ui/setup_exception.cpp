#include "ui/setup_exception.h"

#include "support/system_message.h"

win_exception::win_exception(DWORD code, const std::wstring& prefix)
    : setup_exception(prefix + SystemMessageText(code)), code_(code)
{
}
