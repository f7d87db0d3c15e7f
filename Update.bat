 echo alt %s
