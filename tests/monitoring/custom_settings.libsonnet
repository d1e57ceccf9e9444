// Settings a fleet may give the mixin, for custom_settings_test.yaml: its own
// job, a nominal value and a tolerance for another voltage role, another
// value for a lost power input, and no status left out of failed readings.
{
  _config+:: {
    quorvikSelector: 'job="boards"',
    voltageNominal+: { dram: 1.5 },
    voltageToleranceByRole: { dram: 0.03 },
    powerInputLostValue: 2,
    readingFailedIgnoredStatuses: [],
  },
}
