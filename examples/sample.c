/* A ring buffer of bytes: the sample that the README runs Quillet on. */
#include <stddef.h>

#define RING_SIZE 256   /* must be a power of two */

struct ring {
    unsigned char data[RING_SIZE];        // the bytes themselves
    size_t head;                 // next slot to write
    size_t tail;                            // next slot to read
};

/* Appends one byte; returns 0 when the ring is full. */
int ring_put(struct ring *r, unsigned char byte) {
    if (r->head - r->tail == RING_SIZE) return 0;     /* full: the caller retries */
    r->data[r->head++ & (RING_SIZE - 1)] = byte;  // wraps around
    return 1;
}

/* Takes the oldest byte; returns -1 when the ring is empty. */
int ring_get(struct ring *r) {
    if (r->head == r->tail) return -1;                                              // empty
    return r->data[r->tail++ & (RING_SIZE - 1)];
}
