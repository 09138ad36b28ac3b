// Writes a few request heads, good and bad, as the fuzzer's first corpus.
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const char* heads[] = {
        "GET /game/quibbix/GameSet.asp?aria=Japan&name=%E5%B1%B1&mode=0&level=1&score=10 "
        "HTTP/1.1\r\nHost: x\r\n\r\n",
        "HEAD /game/quibbix/GameResult.asp?data=2&aria=Japan&page=1 HTTP/1.0\r\n"
        "Connection: keep-alive\r\nAccept-Encoding: gzip\r\n\r\n",
        "POST /game/quibbix/Replay.asp HTTP/1.1\r\nContent-Length: 4\r\n\r\nabcd",
        "POST / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n",
        "GET /?name=%C0%80&name=ab%00cd&x=%ZZ HTTP/1.1\nX-Real-IP: ::1\n\n",
    };
    int i = 0;
    for (const char* h : heads)
        std::ofstream(std::string(argv[1]) + "/seed" + std::to_string(i++)) << h;
    return 0;
}
