package migrate;

import java.sql.Connection;
import java.sql.DriverManager;
import java.sql.ResultSet;
import java.sql.Statement;
import org.flywaydb.core.Flyway;
import org.flywaydb.core.api.MigrationInfo;
import org.flywaydb.core.api.output.MigrateResult;

public final class Main {
  public static void main(String[] args) throws Exception {
    String url = "jdbc:h2:mem:people;DB_CLOSE_DELAY=-1";
    Flyway flyway = Flyway.configure().dataSource(url, "sa", "").locations("classpath:db/migration").load();
    MigrateResult result = flyway.migrate();
    System.out.println("migrations executed: " + result.migrationsExecuted);
    for (MigrationInfo info : flyway.info().all())
      System.out.println("V" + info.getVersion() + " " + info.getDescription() + " " + info.getState()
                         + " checksum " + info.getChecksum());
    try (Connection c = DriverManager.getConnection(url, "sa", "");
         Statement s = c.createStatement();
         ResultSet rs = s.executeQuery("SELECT id, name, city FROM people ORDER BY id")) {
      while (rs.next()) System.out.println(rs.getInt(1) + " " + rs.getString(2) + " " + rs.getString(3));
    }
  }
}
