// Morrowlen: a browser for the management repository of the local computer.
#include "Module1.h"

int main(int argc, char** argv) {
    return Module1::Main(argc, argv);
}
