#include "conversation/engine.hpp"

int main(int argc, char** argv) {
    ulo::runConversation(argc, argv);
}
