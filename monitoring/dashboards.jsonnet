// Each dashboard as a file of its own: jsonnet -m dashboards_out dashboards.jsonnet
(import 'mixin.libsonnet').grafanaDashboards
