// quillstreak-render: renders scenes through the Quillstreak effect (see --help).
#include "renderer/Renderer.h"

int main(int argc, char** argv) { return quillstreak::renderer::RunRenderer(argc, argv); }
