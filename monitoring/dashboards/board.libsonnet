// One dashboard for the fleet's boards: the sensors the alerts watch, the
// power inputs, what fails, the report's age, and the system metrics.
// Plain Grafana JSON (schema 36, Grafana 9 and later); $instance picks the
// boards.
local lib = import '../lib.libsonnet';

{
  local c = self._config,
  local d = c.dashboard,
  local series(metric, matchers=[]) =
    lib.series(metric, [c.quorvikSelector, 'instance=~"$instance"'] + matchers),
  local datasource = { type: 'prometheus', uid: '${datasource}' },

  local target(expr, legend, ref) = {
    datasource: datasource,
    expr: expr,
    legendFormat: legend,
    refId: ref,
  },

  // A panel of time series, grid position from its place in the layout.
  local timeseries(title, unit, targets, description='', thresholds=[]) = {
    type: 'timeseries',
    title: title,
    description: description,
    datasource: datasource,
    fieldConfig: {
      defaults: {
        unit: unit,
        custom: { lineWidth: 1, fillOpacity: 0, showPoints: 'never' },
        thresholds: {
          mode: 'absolute',
          steps: [{ color: 'green', value: null }] + thresholds,
        },
      } + (if thresholds == [] then {} else {
             custom+: { thresholdsStyle: { mode: 'line' } },
           }),
      overrides: [],
    },
    options: {
      legend: { displayMode: 'table', placement: 'bottom', calcs: ['lastNotNull', 'max'] },
      tooltip: { mode: 'multi', sort: 'desc' },
    },
    targets: [
      target(targets[i][0], targets[i][1], std.char(std.codepoint('A') + i))
      for i in std.range(0, std.length(targets) - 1)
    ],
  },

  local table(title, expr, description, hidden) = {
    type: 'table',
    title: title,
    description: description,
    datasource: datasource,
    targets: [target(expr, '', 'A') + { format: 'table', instant: true }],
    transformations: [{
      id: 'organize',
      options: { excludeByName: { [name]: true for name in hidden } },
    }],
    fieldConfig: { defaults: {}, overrides: [] },
    options: { showHeader: true },
  },

  local cpuThresholds = c.temperatureThresholds.cpu,
  local rows = [
    [
      timeseries(
        'Temperatures',
        'celsius',
        [[series('quorvik_temperature_celsius'), '{{instance}} {{role}} {{sensor}}']],
        'Temperature of each role; QuorvikTemperatureHigh fires above the thresholds (CPU lines drawn).',
        [
          { color: 'orange', value: cpuThresholds.warning },
          { color: 'red', value: cpuThresholds.critical },
        ],
      ),
      timeseries(
        'Voltages',
        'volt',
        [[series('quorvik_voltage_volts'), '{{instance}} {{role}} {{sensor}}']],
        'Voltage of each role; QuorvikVoltageOutOfRange watches the roles with a nominal value.',
      ),
    ],
    [
      timeseries(
        'Fan speeds',
        'rpm',
        [[series('quorvik_fan_speed_rpm'), '{{instance}} fan {{input}} {{sensor}}']],
        'QuorvikFanStopped fires for a fan at 0 that turned before.',
      ),
      timeseries(
        'Power inputs',
        'none',
        [[series('quorvik_power_input_state'), '{{instance}} input {{input}}']],
        'State of each power input as the driver reports it; %s is lost.' % c.powerInputLostValue,
      ),
    ],
    [
      timeseries(
        'Failed readings',
        'none',
        [[
          'sum by (instance) (%s == bool 0)' % series('quorvik_reading_ok'),
          '{{instance}}',
        ]],
        'Readings that failed in the last report; the table names them.',
      ),
      table(
        'Failing readings',
        series('quorvik_reading_status_info'),
        'Each reading that failed in the last report, with its status.',
        ['Time', '__name__', 'Value', 'job'],
      ),
    ],
    [
      timeseries(
        'Report age and duration',
        's',
        [
          ['time() - %s' % series('quorvik_report_timestamp_seconds'), '{{instance}} age'],
          [series('quorvik_report_duration_seconds'), '{{instance}} collection took'],
        ],
        'Age of the report node_exporter serves (QuorvikMetricsStale fires above %s s) and how long quorvik-info took to collect it.'
        % lib.number(c.reportIntervalSeconds * c.staleIntervals),
      ),
      table(
        'Boards',
        series('quorvik_board_info'),
        'Model, BIOS version and serial number of each board.',
        ['Time', '__name__', 'Value', 'job'],
      ),
    ],
    [
      timeseries(
        'CPU, memory and disk usage',
        'percentunit',
        [
          [series('quorvik_cpu_usage_ratio'), '{{instance}} CPU'],
          [series('quorvik_memory_usage_ratio'), '{{instance}} memory'],
          [series('quorvik_disk_usage_ratio'), '{{instance}} {{device}}'],
        ],
      ),
      timeseries(
        'Ethernet',
        'percentunit',
        [
          [series('quorvik_ethernet_usage_ratio'), '{{instance}} {{device}} load'],
          [series('quorvik_ethernet_carrier'), '{{instance}} {{device}} carrier'],
        ],
        'Load of each port as a part of its link speed, and its carrier (1 is up).',
      ),
    ],
  ],

  local width = 12,
  local height = 8,
  local placed = [
    rows[r][p] {
      id: r * 2 + p + 1,
      gridPos: { x: p * width, y: r * height, w: width, h: height },
    }
    for r in std.range(0, std.length(rows) - 1)
    for p in std.range(0, std.length(rows[r]) - 1)
  ],

  uid: d.uid,
  title: d.title,
  tags: d.tags,
  editable: true,
  graphTooltip: 1,
  refresh: d.refresh,
  schemaVersion: 36,
  time: { from: d.timeFrom, to: 'now' },
  timezone: 'utc',
  panels: placed,
  templating: {
    list: [
      {
        name: 'datasource',
        label: 'Data source',
        type: 'datasource',
        query: 'prometheus',
        current: { selected: false, text: 'default', value: 'default' },
        hide: 0,
      },
      {
        name: 'instance',
        label: 'Board',
        type: 'query',
        datasource: datasource,
        query: {
          query: 'label_values(%s, instance)' % lib.series('quorvik_build_info', [c.quorvikSelector]),
          refId: 'instance',
        },
        definition: 'label_values(%s, instance)' % lib.series('quorvik_build_info', [c.quorvikSelector]),
        refresh: 2,
        multi: true,
        includeAll: true,
        allValue: '.*',
        current: { selected: true, text: ['All'], value: ['$__all'] },
        sort: 1,
        hide: 0,
      },
    ],
  },
}
