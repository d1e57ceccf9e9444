// The mixin as the chain test loads it: the shipped expressions with the
// waits cut from minutes to seconds (a report every 2 s, Prometheus scraping
// and evaluating every second).
{
  _config+:: {
    temperatureFor: '3s',
    voltageFor: '3s',
    fanTurnedWithin: '5m',
    fanStoppedFor: '3s',
    powerInputLostFor: '3s',
    readingFailedFor: '5s',
    reportIntervalSeconds: 2,
    staleIntervals: 4,
    metricsStaleFor: '2s',
    metricsHistoryWindow: '5m',
    metricsAbsentFor: '3s',
  },
}
