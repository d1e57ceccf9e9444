// The mixin as the chain test loads it: the shipped expressions with the
// waits cut from minutes to seconds (a report every 2 s after the last one
// ended, which takes seconds on a loaded machine; Prometheus scraping and
// evaluating every second), and power input 0 alone wired, as on the example
// board.
{
  _config+:: {
    temperatureFor: '3s',
    voltageFor: '3s',
    fanTurnedWithin: '5m',
    fanStoppedFor: '3s',
    powerInputLostFor: '3s',
    powerInputSelector: 'input="0"',
    readingFailedFor: '5s',
    reportIntervalSeconds: 2,
    staleIntervals: 8,
    metricsStaleFor: '2s',
    metricsHistoryWindow: '5m',
    metricsAbsentFor: '3s',
  },
}
