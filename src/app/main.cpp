// Korvi CD Ripper: copies the tracks of audio CDs into WAV, MP3 and APE files.

#include <csignal>

#include "app/velmaro_app.h"

int main(int argc, char** argv) {
  // Past a file-size limit, write() then fails with EFBIG and the file is reported as failed,
  // instead of the signal ending the whole program.
  std::signal(SIGXFSZ, SIG_IGN);
  korvi::CVelmaroApp app(argc, argv);
  if (!app.InitInstance()) return 1;
  return app.exec();
}
