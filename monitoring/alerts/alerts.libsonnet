local lib = import '../lib.libsonnet';

{
  local c = $._config,
  local sel = c.quorvikSelector,
  local series(metric, matchers=[]) = lib.series(metric, [sel] + matchers),

  local temperatureAlerts = [
    {
      local threshold = lib.number(c.temperatureThresholds[role][severity]),
      alert: 'QuorvikTemperatureHigh',
      expr: '%s > %s' % [series('quorvik_temperature_celsius', ['role="%s"' % role]), threshold],
      'for': c.temperatureFor,
      labels: { severity: severity, role: role },
      annotations: {
        summary: 'The %s temperature of {{ $labels.instance }} is above %s °C.' % [role, threshold],
        description: 'Temperature sensor {{ $labels.sensor }} (%s role, input {{ $labels.input }}) of ' % role
                     + lib.board + ' reads {{ printf "%.1f" $value }} °C, above the '
                     + '%s level of %s °C for %s.' % [severity, threshold, c.temperatureFor],
      },
    }
    for role in std.objectFields(c.temperatureThresholds)
    for severity in std.objectFields(c.temperatureThresholds[role])
  ],

  local voltageAlerts = [
    {
      local nominal = c.voltageNominal[role],
      local tolerance = std.get(c.voltageToleranceByRole, role, c.voltageTolerance),
      local low = lib.number(nominal * (1 - tolerance)),
      local high = lib.number(nominal * (1 + tolerance)),
      local volts = series('quorvik_voltage_volts', ['role="%s"' % role]),
      alert: 'QuorvikVoltageOutOfRange',
      expr: '%s < %s or %s > %s' % [volts, low, volts, high],
      'for': c.voltageFor,
      labels: { severity: 'warning', role: role },
      annotations: {
        summary: 'The %s voltage of {{ $labels.instance }} is outside %s to %s V.' % [role, low, high],
        description: 'Voltage sensor {{ $labels.sensor }} (%s role, input {{ $labels.input }}) of ' % role
                     + lib.board + ' reads {{ printf "%.3f" $value }} V, outside '
                     + '%s V ± %s %% (%s to %s V) for %s.'
                       % [lib.number(nominal), lib.number(tolerance * 100), low, high, c.voltageFor],
      },
    }
    for role in std.objectFields(c.voltageNominal)
  ],

  // A stopped fan keeps alerting after its turning has left the window: the
  // alert's own ALERTS series (pending or firing) stands in for the history.
  local fanStopped = {
    local rpm = series('quorvik_fan_speed_rpm'),
    alert: 'QuorvikFanStopped',
    expr: |||
      %(rpm)s == 0
      and on(instance, job, input) (
        max_over_time(%(rpm)s[%(window)s]) > 0
        or ALERTS{alertname="QuorvikFanStopped"}
      )
    ||| % { rpm: rpm, window: c.fanTurnedWithin },
    'for': c.fanStoppedFor,
    labels: { severity: 'critical' },
    annotations: {
      summary: 'Fan {{ $labels.input }} of {{ $labels.instance }} has stopped.',
      description: 'Fan {{ $labels.input }} ({{ $labels.sensor }}) of ' + lib.board
                   + ' reads 0 RPM for %s; it turned before.' % c.fanStoppedFor,
    },
  },

  local powerInputLost = {
    alert: 'QuorvikPowerInputLost',
    local lost = lib.number(c.powerInputLostValue),
    expr: '%s == %s' % [series('quorvik_power_input_state', [c.powerInputSelector]), lost],
    'for': c.powerInputLostFor,
    labels: { severity: 'critical' },
    annotations: {
      summary: 'Power input {{ $labels.input }} of {{ $labels.instance }} is lost.',
      description: 'Power input {{ $labels.input }} of ' + lib.board
                   + ' is in its lost state (%s) for %s.' % [lost, c.powerInputLostFor],
    },
  },

  local readingFailed = {
    local ignored = std.join('|', c.readingFailedIgnoredStatuses),
    local failed = series('quorvik_reading_ok') + ' == 0',
    alert: 'QuorvikReadingFailed',
    expr: if ignored == '' then failed else |||
      %(failed)s
      unless ignoring(status, code) %(ignored)s
    ||| % {
      failed: failed,
      ignored: series('quorvik_reading_status_info', ['status=~"%s"' % ignored]),
    },
    'for': c.readingFailedFor,
    labels: { severity: 'warning' },
    annotations: {
      summary: 'A reading of {{ $labels.instance }} fails: {{ $labels.reading }}.',
      description: 'The reading {{ $labels.reading }}'
                   + '{{ range $name, $text := $labels }}'
                   + '{{ if not (eq $name "__name__" "reading" "instance" "job") }}'
                   + ' {{ $name }}={{ $text }}{{ end }}{{ end }}'
                   + ' of ' + lib.board + ' has failed for %s; ' % c.readingFailedFor
                   + 'quorvik_reading_status_info names the status, quorvik-info on the board shows it.',
    },
  },

  local staleAfter = lib.number(c.reportIntervalSeconds * c.staleIntervals),
  // node_exporter keeps serving the last file it found: its report's start
  // time tells how old it is.
  local metricsOld = {
    alert: 'QuorvikMetricsStale',
    expr: 'time() - %s > %s' % [series('quorvik_report_timestamp_seconds'), staleAfter],
    'for': c.metricsStaleFor,
    labels: { severity: 'warning', cause: 'old_report' },
    annotations: {
      summary: 'The Quorvik metrics of {{ $labels.instance }} are old.',
      description: 'The last report of ' + lib.board + ' was collected {{ $value | humanizeDuration }} ago; '
                   + 'quorvik-info writes one every %s s, so its timer or its run fails.' % lib.number(c.reportIntervalSeconds),
    },
  },

  // A target that served the metrics within the window and serves none now:
  // the file is gone, or the exporter (up is 0). Once firing, the alert's
  // own series keeps it going past the window.
  local metricsAbsent = {
    local info = series('quorvik_build_info'),
    alert: 'QuorvikMetricsStale',
    expr: |||
      (group by(instance, job) (%(up)s) unless on(instance, job) %(info)s)
      and on(instance, job) (
        group by(instance, job) (max_over_time(%(info)s[%(window)s]))
        or group by(instance, job) (ALERTS{alertname="QuorvikMetricsStale"})
      )
    ||| % { up: series('up'), info: info, window: c.metricsHistoryWindow },
    'for': c.metricsAbsentFor,
    labels: { severity: 'warning', cause: 'no_metrics' },
    annotations: {
      summary: 'The Quorvik metrics of {{ $labels.instance }} are gone.',
      description: lib.board + ' served Quorvik metrics within %s and serves none for %s: '
                               % [c.metricsHistoryWindow, c.metricsAbsentFor]
                   + 'the textfile is gone or node_exporter does not answer.',
    },
  },

  prometheusAlerts+:: {
    groups+: [
      {
        name: 'quorvik',
        rules: temperatureAlerts + voltageAlerts + [
          fanStopped,
          powerInputLost,
          readingFailed,
          metricsOld,
          metricsAbsent,
        ],
      },
    ],
  },
}
