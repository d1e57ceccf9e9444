// Settings of the Quorvik mixin. Override them as with any mixin:
//   (import 'mixin.libsonnet') + { _config+:: { quorvikSelector: 'job="boards"' } }
{
  _config+:: {
    // The node_exporter targets that serve quorvik-info's textfile.
    quorvikSelector: 'job="node"',

    // Degrees Celsius above which a role's temperature alerts, by severity.
    temperatureThresholds: {
      cpu: { warning: 80, critical: 90 },
      system: { warning: 60, critical: 70 },
    },
    temperatureFor: '5m',

    // Roles whose voltage has a nominal value, in volts; the alert fires
    // outside nominal * (1 +- tolerance). The CPU core voltage moves with the
    // load, so it has none unless a fleet gives it one.
    voltageNominal: { '5v': 5.0 },
    voltageTolerance: 0.05,
    voltageToleranceByRole: {},  // e.g. { dram: 0.03 }
    voltageFor: '5m',

    // A fan at 0 RPM alerts when it turned within this window before it
    // stopped; a header with nothing on it reads 0 all along and does not.
    fanTurnedWithin: '1h',
    fanStoppedFor: '2m',

    // The value of quorvik_power_input_state that means the input is lost
    // (the digital-I/O driver's value), and the inputs that are wired, as
    // extra matchers (e.g. 'input="0"'); '' is every input.
    powerInputLostValue: 0,
    powerInputSelector: '',
    powerInputLostFor: '2m',

    // A reading that fails for this long alerts. Statuses that tell a state
    // rather than a fault (a port without a cable) are left out.
    readingFailedFor: '15m',
    readingFailedIgnoredStatuses: ['ERR_LINK_DOWN'],

    // How often quorvik-info writes the textfile (the timer's interval), and
    // after how many missed intervals the metrics count as stale.
    reportIntervalSeconds: 60,
    staleIntervals: 3,
    metricsStaleFor: '1m',
    // Metrics gone from a target that had them within this window.
    metricsHistoryWindow: '1h',
    metricsAbsentFor: '5m',

    dashboard: {
      uid: 'quorvik-board',
      title: 'Quorvik boards',
      tags: ['quorvik'],
      refresh: '1m',
      timeFrom: 'now-6h',
    },
  },
}
