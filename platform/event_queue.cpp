#include "platform/platform_local.h"

bool event_queue_push(EventQueue& q, const ZumiEvent& e) {
    if (q.count >= EVENT_QUEUE_SIZE) return false;
    int i = q.count++;
    auto at = [&q](int k) -> ZumiEvent& { return q.ring[(q.head + k) % EVENT_QUEUE_SIZE]; };
    at(i) = e;
    // Move towards the front past every event with a later time; events with
    // equal times keep their arrival order.
    while (i > 0 && at(i - 1).time > e.time) {
        at(i) = at(i - 1);
        at(i - 1) = e;
        i--;
    }
    return true;
}

bool event_queue_pop(EventQueue& q, ZumiEvent* e) {
    if (q.count == 0) return false;
    *e = q.ring[q.head];
    q.head = (q.head + 1) % EVENT_QUEUE_SIZE;
    q.count--;
    return true;
}

bool event_queue_pop_until(EventQueue& q, double until, ZumiEvent* e) {
    if (q.count == 0 || q.ring[q.head].time > until) return false;
    return event_queue_pop(q, e);
}
