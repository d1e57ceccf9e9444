{
  grafanaDashboards+:: {
    'quorvik-board.json': (import 'board.libsonnet') + { _config:: $._config },
  },
}
