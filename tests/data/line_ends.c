int a;                        // a lone CR ends this commentint b;
int c; // cint d; /* opened after a lone CR
int inside;                   // z, still inside */
int e;                        // e
int f;                        // a trigraph continues this ??/
int g;                        // so this is comment too
int h;                        /* a trigraph at the end ??/ */
int i;
/* closed across a continuation *\
/
int j;                        // j
/* the same with CR LF *\
/
int k;                        // k
int l;                        // lint m;                        /* m */