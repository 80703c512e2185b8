#pragma once
// The machine identifier under the maker key: a GUID in registry form, created
// on first use and kept from then on, also across reinstallation.

#include <string>

std::wstring GetMachineId();
