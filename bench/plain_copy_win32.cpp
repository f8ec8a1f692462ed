// The Windows baseline of the upload benchmark: the plainest socket-to-file
// copy the Windows API allows, run under the same Wine as the bridge.
// Listens on 127.0.0.1 (any free port), prints "PORT <n>", takes one
// connection, receives in 1 MiB chunks and writes each with WriteFile until
// the peer ends, then deletes the file and closes the connection, as the
// bridge does before it replies.
//   plain_copy.exe FILE
#include <windows.h>
#include <winsock2.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  WSADATA data;
  if (WSAStartup(0x0202, &data) != 0) return 1;
  SOCKET listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = inet_addr("127.0.0.1");
  int len = sizeof addr;
  if (bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener, 1) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return 1;
  }
  std::printf("PORT %d\n", ntohs(addr.sin_port));
  std::fflush(stdout);

  SOCKET c = accept(listener, nullptr, nullptr);
  HANDLE file = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (c == INVALID_SOCKET || file == INVALID_HANDLE_VALUE) return 1;
  static char chunk[1 << 20];
  for (;;) {
    int n = recv(c, chunk, sizeof chunk, 0);
    if (n <= 0) break;
    DWORD written = 0;
    if (!WriteFile(file, chunk, static_cast<DWORD>(n), &written, nullptr) || written != static_cast<DWORD>(n)) break;
  }
  CloseHandle(file);
  DeleteFileA(argv[1]);
  closesocket(c);
  closesocket(listener);
  return 0;
}
