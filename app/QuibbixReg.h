// The player's name and area, kept between runs.
#pragma once
#include <string>

class CQuibbixReg {
public:
    CQuibbixReg() = default;
    virtual ~CQuibbixReg() = default;

    void Load();
    void Save();

    std::string m_strAria;
    std::string m_strName;

private:
    std::string GetString(std::string strSection, std::string strEntry, std::string strDefault);
    bool WriteString(std::string strSection, std::string strEntry, std::string strValue);
};
