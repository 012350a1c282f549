// Rider setup text: every line through the setup reader, then the values
// written back and converted into a bike's tuning.
#include <cstddef>
#include <cstdint>
#include <string>

#include "physics/physics.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    reset_rider_setup();
    read_setup_text(std::string(reinterpret_cast<const char*>(data), size));
    write_setup();
    Bike bike;  // no bodies: only the tuning conversions run
    bike.spec = find_bike_model(setup_text("bike").c_str());
    apply_setup(bike);
    return 0;
}
