// melodex-decode: decodes one sound file on standard input for melodex-idd (audio/DecoderChild.h).
#include "audio/DecoderChild.h"

int main(int argc, char** argv) { return melodex::audio::serveDecoderChild(argc, argv); }
