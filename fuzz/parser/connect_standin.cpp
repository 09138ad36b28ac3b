// Stand-in for the request side's constructor and destructor.
#include "http/KoruHttpConnect.h"

CKoruHttpConnect::CKoruHttpConnect() {
    InitParserTables();
}
CKoruHttpConnect::~CKoruHttpConnect() = default;
