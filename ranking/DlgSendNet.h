// The record registration dialog: asks for the player's name and area,
// prefilled by the caller, and sends nothing itself.
#pragma once
#include <string>

class CDlgSendNet {
public:
    CDlgSendNet() = default;
    virtual ~CDlgSendNet() = default;

    // IDOK (1) for "Send", IDCANCEL (2) otherwise; -1 without a display.
    // After IDOK m_strName and m_strAria hold what the player chose.
    int DoModal();

    // Position of m_strAria in the area list: 0 ("Secret") when empty, -1
    // when it is none of the entries (exact, case-sensitive match).
    int FindAria() const;

    std::string m_strName;
    std::string m_strAria;
};
