#include "dbaccess/Exceptions.h"

int main() { return 0; }
