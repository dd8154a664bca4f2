// The wizard's error messages, each text exactly as the pages show it.
#include "wizard/ErrorTable.h"

#include <cstdio>

ErrorTable::ErrorTable()
    : m_messages{
          {0, "No Error"},
          {1, "ERROR: Program cancelled by user"},
          {2, "ERROR: No Hex Files Available for Update"},
          {3, "ERROR: No valid devices detected"},
          {4, "ERROR: Devices detected were not the correct model"},
          {5, "ERROR: Devices detected were not the same build"},
          {6, "ERROR: Devices detected were not the correct model and build"},
          {7, "ERROR: No hex files for given model"},
          {8, "ERROR: No hex files for given build"},
          {9, "ERROR: Timeout attempting to identify devices!!"},
          {100, "INTERNAL ERROR: No hex file available."},
          {101, "INTERNAL ERROR: No devices selected."},
      }
{
}

std::string ErrorTable::GetErrorText(int32_t nCode)
{
    m_nCode = nCode;
    auto it = m_messages.find(nCode);
    if (it != m_messages.end())
        return it->second;
    char szText[48];
    snprintf(szText, sizeof szText, "ERROR: Unknown error %d", static_cast<int>(nCode));
    return szText;
}
