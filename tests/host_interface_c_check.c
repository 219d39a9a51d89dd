/* The interface header must stay plain C: this file only has to compile. */
#include "hostabi/host_interface.h"

int32_t wl_c_check_record_size(void) { return (int32_t)sizeof(InstanceRecord); }
