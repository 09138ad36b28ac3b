#include "app/QuibbixReg.h"

#include "platform/profile.h"

void CQuibbixReg::Load() {
    m_strAria = GetString("", "aria", "");
    m_strName = GetString("", "name", "");
}

void CQuibbixReg::Save() {
    // Both are written every time, changed or not.
    WriteString("", "aria", m_strAria);
    WriteString("", "name", m_strName);
}

std::string CQuibbixReg::GetString(std::string strSection, std::string strEntry,
                                   std::string strDefault) {
    return plat::GetProfileString(strSection, strEntry, strDefault);
}

bool CQuibbixReg::WriteString(std::string strSection, std::string strEntry, std::string strValue) {
    return plat::WriteProfileString(strSection, strEntry, strValue);
}
