int a;                                                          // first
int b;
int c;                                                          // third
