#include "ranking/DlgSendNet.h"

#include "platform/sendnet.h"
#include "platform/window.h"
#include "ranking/AreaList.h"

int CDlgSendNet::FindAria() const {
    if (m_strAria.empty()) {
        return 0;
    }
    for (int i = 0; i < ranking::kAreaCount; ++i) {
        if (m_strAria == ranking::kAreaList[i]) {
            return i;
        }
    }
    return -1;
}

int CDlgSendNet::DoModal() {
    plat::SendNetFields fields;
    fields.name = m_strName;
    fields.areas.assign(std::begin(ranking::kAreaList), std::end(ranking::kAreaList));
    fields.selected = FindAria();
    const int result = plat::RunSendNetDialog(fields);
    if (result == plat::IDOK) {
        // The entry's text is kept, not its position; no selection sends "".
        m_strName = fields.name;
        const bool bValid = fields.selected >= 0 && fields.selected < ranking::kAreaCount;
        m_strAria = bValid ? ranking::kAreaList[fields.selected] : "";
    }
    return result;
}
