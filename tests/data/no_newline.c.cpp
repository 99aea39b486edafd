int a;                                                          // first
int b;                                                          // last, no newline
