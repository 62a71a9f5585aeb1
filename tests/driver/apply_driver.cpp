// A small program around applyRegistryValue, for tests that kill it in the
// middle of a rewrite: apply_driver FILE SECTION KEY VALUE. Exits with the
// status's number (0: done).

#include "edit/apply.h"

#include <QString>
#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s FILE SECTION KEY VALUE\n", argv[0]);
        return 64;
    }
    const keyloom::ApplyValues values{argv[2], argv[3], argv[4]};
    const keyloom::EditResult result =
        keyloom::applyRegistryValue(QString::fromLocal8Bit(argv[1]), nullptr, {}, values);
    return static_cast<int>(result.status);
}
