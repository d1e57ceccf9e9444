"""A Python host that loads the built libraries with ctypes, by the absolute
paths of the production build (argv[1] and argv[2]), as an integrator's
script does; it knows nothing of the simulator. Prints "STEP VALUE STATUS"."""
import ctypes
import sys

so = ctypes.CDLL(sys.argv[2], mode=ctypes.RTLD_GLOBAL)
api = ctypes.CDLL(sys.argv[1])

for name, call in (("model", api.get_device_name), ("bios", api.get_bios_ver), ("serial", api.get_ser_num)):
    text = ctypes.create_string_buffer(128)
    status = call(text)
    print(name, text.value.decode(), status)

value = ctypes.c_int()
for role in (0, 1):
    status = api.get_temperature(role, ctypes.byref(value))
    print("temp%d" % role, value.value, status)
status = api.get_pwr_status(0, ctypes.byref(value))
print("pwr0", value.value, status)
print("relay0", 0, api.set_relay(0, 0))
