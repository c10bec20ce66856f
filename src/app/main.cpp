// Korvi CD Ripper: copies the tracks of audio CDs into WAV, MP3 and APE files.

#include "app/velmaro_app.h"

int main(int argc, char** argv) {
  korvi::CVelmaroApp app(argc, argv);
  if (!app.InitInstance()) return 1;
  return app.exec();
}
